// The discrete Fourier transform of any length, for the spectra of sway traces.
#pragma once

#include <complex>
#include <vector>

namespace kymhost {

// Replaces values with their transform, X[k] = sum over n of x[n] e^(-2 pi i k n / N): a radix-2
// fast transform for powers of two, Bluestein's chirp for any other length.
void Fourier(std::vector<std::complex<double>>& values);

}  // namespace kymhost
