// The portable kernel of RealFFT: the stages (U_FFT2_stages.inc) on a vector of two doubles written in
// standard C++; compilers map it onto their two-lane vector instructions where they have them.

#include <cmath>
#include <cstring>

#include "U_FFT2_kernel.h"

namespace fft_internal {
namespace {

struct V {
    double lane[2];
};
inline V operator+(V a, V b) { return {{a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]}}; }
inline V operator-(V a, V b) { return {{a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]}}; }
inline V operator*(V a, V b) { return {{a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]}}; }
inline V operator*(V a, double b) { return {{a.lane[0] * b, a.lane[1] * b}}; }
inline V operator-(V a) { return {{-a.lane[0], -a.lane[1]}}; }
using V2 = V;

inline V Splat(double x) { return {{x, x}}; }
inline V Reversed(V v) { return {{v.lane[1], v.lane[0]}}; }
// The pairs (a0, a1), (b0, b1) into re = (a0, b0) and im = (a1, b1).
inline void Deinterleave(V a, V b, V& re, V& im) {
    re = {{a.lane[0], b.lane[0]}};
    im = {{a.lane[1], b.lane[1]}};
}
// Lane l of t[k] becomes lane k of t[l].
inline void Transpose(V* t) {
    const V a = t[0], b = t[1];
    t[0] = {{a.lane[0], b.lane[0]}};
    t[1] = {{a.lane[1], b.lane[1]}};
}

#include "U_FFT2_stages.inc"

}  // namespace

const Kernel PortableKernel = {AllStages, PackedStages, Recombine};

}  // namespace fft_internal
