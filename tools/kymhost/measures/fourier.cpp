#include "measures/fourier.h"

#include "measures/math_constants.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace kymhost {

namespace {

using Complex = FourierPlan::Complex;

bool PowerOfTwo(size_t n) { return n > 0 && (n & (n - 1)) == 0; }

// By hand: std::complex's product checks for infinities on every butterfly, which costs more
// than the transform's own arithmetic.
inline Complex Times(Complex a, Complex b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

}  // namespace

FourierPlan::FourierPlan(size_t length) : length_(length), size_(length) {
  if (length_ >= 2 && !PowerOfTwo(length_)) {
    size_ = 1;
    while (size_ < 2 * length_ - 1) size_ <<= 1;
  }
  // Each twiddle from its own angle: a running product drifts over long transforms.
  twiddles_.resize(size_ / 2);
  for (size_t k = 0; k < size_ / 2; ++k)
    twiddles_[k] = std::polar(1.0, -2 * kPi * static_cast<double>(k) / static_cast<double>(size_));
  work_.assign(size_, Complex());
  if (size_ == length_) return;
  // X[k] = w[k] sum x[n] w[n] conj(w[k - n]) with w[n] = e^(-pi i n^2 / N): a convolution, done
  // with power-of-two transforms.
  chirp_.resize(length_);
  for (size_t k = 0; k < length_; ++k) {
    // k^2 modulo 2N keeps the angle small and exact for long traces.
    uint64_t square = static_cast<uint64_t>(k) * k % (2 * static_cast<uint64_t>(length_));
    chirp_[k] = std::polar(1.0, -kPi * static_cast<double>(square) / static_cast<double>(length_));
  }
  kernel_.assign(size_, Complex());
  kernel_[0] = std::conj(chirp_[0]);
  for (size_t k = 1; k < length_; ++k) kernel_[k] = kernel_[size_ - k] = std::conj(chirp_[k]);
  Radix2(kernel_.data(), false);
}

void FourierPlan::Radix2(Complex* a, bool inverse) const {
  size_t n = size_;
  for (size_t i = 1, j = 0; i < n; ++i) {  // bit-reversed order
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t length = 2; length <= n; length <<= 1) {
    size_t stride = n / length, half = length / 2;
    for (size_t start = 0; start < n; start += length) {
      for (size_t k = 0; k < half; ++k) {
        Complex twiddle = twiddles_[k * stride];
        if (inverse) twiddle = std::conj(twiddle);
        Complex even = a[start + k], odd = Times(a[start + k + half], twiddle);
        a[start + k] = even + odd;
        a[start + k + half] = even - odd;
      }
    }
  }
  if (inverse)
    for (size_t k = 0; k < n; ++k) a[k] /= static_cast<double>(n);
}

void FourierPlan::Transform() {
  if (length_ < 2) return;
  if (size_ == length_) {
    Radix2(work_.data(), false);
    return;
  }
  for (size_t k = 0; k < length_; ++k) work_[k] = Times(work_[k], chirp_[k]);
  std::fill(work_.begin() + static_cast<std::ptrdiff_t>(length_), work_.end(), Complex());
  Radix2(work_.data(), false);
  for (size_t k = 0; k < size_; ++k) work_[k] = Times(work_[k], kernel_[k]);
  Radix2(work_.data(), true);
  for (size_t k = 0; k < length_; ++k) work_[k] = Times(work_[k], chirp_[k]);
}

void Fourier(std::vector<Complex>& values) {
  FourierPlan plan(values.size());
  std::copy(values.begin(), values.end(), plan.Values());
  plan.Transform();
  std::copy(plan.Values(), plan.Values() + values.size(), values.begin());
}

}  // namespace kymhost
