#pragma once
// Real FFT of n samples, n a power of two from 4 to 16384 (n + 1 also accepted: the last sample is ignored).

#include <cstdint>
#include <vector>

using TNvector2 = std::vector<double>;

// Forward (inverse false): re[0..n-1] holds x[t] on entry (im is ignored); on return re[k] + i*im[k] =
// (1/sqrt(n)) * sum_t x[t] * exp(-2*pi*i*k*t/n) for k = 0..n-1: bins 0..n/2-1, the Nyquist bin at n/2 (im 0)
// and the conjugate-symmetric upper half. Inverse (inverse true): takes such a full spectrum in entries 0..n-1
// and returns the real sequence in re[0..n-1] with im[0..n-1] zero, so forward then inverse restores the input.
// errorCode: 0 done; 1 n <= 3; 2 n/2 not a power of two up to 8192; 3 re or im shorter than n.
// On codes 1..3 nothing is touched. Not re-entrant: the twiddle tables are shared by all calls; never throws.
void RealFFT(int32_t n, bool inverse, TNvector2& re, TNvector2& im, uint8_t& errorCode);
