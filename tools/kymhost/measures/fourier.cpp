#include "measures/fourier.h"

#include "measures/math_constants.h"

#include <cstdint>
#include <utility>

namespace kymhost {

namespace {

using Complex = std::complex<double>;

bool PowerOfTwo(size_t n) { return n > 0 && (n & (n - 1)) == 0; }

void Radix2(std::vector<Complex>& a, bool inverse) {
  size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {  // bit-reversed order
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  // Each twiddle from its own angle: a running product drifts over long transforms.
  std::vector<Complex> twiddles(n / 2);
  for (size_t k = 0; k < n / 2; ++k)
    twiddles[k] = std::polar(1.0, (inverse ? 2 : -2) * kPi * static_cast<double>(k) / static_cast<double>(n));
  for (size_t length = 2; length <= n; length <<= 1) {
    size_t stride = n / length;
    for (size_t start = 0; start < n; start += length) {
      for (size_t k = 0; k < length / 2; ++k) {
        Complex even = a[start + k], odd = a[start + k + length / 2] * twiddles[k * stride];
        a[start + k] = even + odd;
        a[start + k + length / 2] = even - odd;
      }
    }
  }
  if (inverse)
    for (Complex& v : a) v /= static_cast<double>(n);
}

// X[k] = w[k] sum x[n] w[n] conj(w[k - n]) with w[n] = e^(-pi i n^2 / N): a convolution, done
// with power-of-two transforms.
void Bluestein(std::vector<Complex>& x) {
  size_t n = x.size();
  size_t m = 1;
  while (m < 2 * n - 1) m <<= 1;
  std::vector<Complex> chirp(n);
  for (size_t k = 0; k < n; ++k) {
    // k^2 modulo 2N keeps the angle small and exact for long traces.
    uint64_t square = static_cast<uint64_t>(k) * k % (2 * static_cast<uint64_t>(n));
    chirp[k] = std::polar(1.0, -kPi * static_cast<double>(square) / static_cast<double>(n));
  }
  std::vector<Complex> a(m), b(m);
  for (size_t k = 0; k < n; ++k) a[k] = x[k] * chirp[k];
  b[0] = std::conj(chirp[0]);
  for (size_t k = 1; k < n; ++k) b[k] = b[m - k] = std::conj(chirp[k]);
  Radix2(a, false);
  Radix2(b, false);
  for (size_t k = 0; k < m; ++k) a[k] *= b[k];
  Radix2(a, true);
  for (size_t k = 0; k < n; ++k) x[k] = a[k] * chirp[k];
}

}  // namespace

void Fourier(std::vector<Complex>& values) {
  if (values.size() < 2) return;
  if (PowerOfTwo(values.size()))
    Radix2(values, false);
  else
    Bluestein(values);
}

}  // namespace kymhost
