#pragma once
// The hot loops of RealFFT: the stages of the complex transform, the forward packing and the split step.
// They are written once (U_FFT2_stages.inc) for a vector of doubles and built as one kernel per instruction
// set: the portable kernel (standard C++, two doubles per vector) in every build, and the AVX2 kernel
// (U_FFT2_avx2.cpp, four doubles) on x86-64 where the compiler builds it. Every lane computes exactly the
// scalar expression, and no build fuses a multiply with an add, so all kernels give the same bits.

#include <cstddef>
#include <cstdint>

namespace fft_internal {

// The cached tables a kernel reads (see U_FFT2_internal.h), as plain pointers.
struct KernelTables {
    const double* stageRe;
    const double* stageIm;
    const double* spectrumRe;
    const double* spectrumIm;
    const uint32_t* bitReversed;
};

struct Kernel {
    // ComplexFFT after the bit reversal, on the m = size = 2^e points (xr, xi), ending with the scale f
    // (f = 1/sqrt(m); the imaginary parts of the inverse take -f).
    void (*AllStages)(const KernelTables& tab, uint8_t e, std::size_t size, bool inverse, double* xr, double* xi,
                      double f);
    // The forward transform's packing of the 2m samples x into bit-reversed points (zr, zi) and all its
    // stages, without the final scale.
    void (*PackedStages)(const KernelTables& tab, uint8_t e, std::size_t size, const double* x, double* zr,
                         double* zi);
    // RecombineSpectrum from the points (zr, zi), each scaled by f as it is read, into bins 0..2m-1 of
    // (xr, xi), which may be the same arrays.
    void (*Recombine)(const KernelTables& tab, std::size_t size, const double* zr, const double* zi, double* xr,
                      double* xi, double f);
};

extern const Kernel PortableKernel;
// The AVX2 kernel when this build has one and the processor runs it, else nullptr.
const Kernel* Avx2Kernel();

}  // namespace fft_internal
