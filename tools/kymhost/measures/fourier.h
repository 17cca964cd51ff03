// The discrete Fourier transform of any length, for the spectra of sway traces.
#pragma once

#include <complex>
#include <vector>

namespace kymhost {

// The transform of one length, prepared once for the several transforms of a spectrum: a radix-2
// fast transform for powers of two, Bluestein's chirp for any other length. An hour of frames
// makes windows of 180,000 values, so the plan keeps one work buffer and transforms in place.
class FourierPlan {
 public:
  using Complex = std::complex<double>;

  explicit FourierPlan(size_t length);

  // The length values to transform; after Transform(), their transform,
  // X[k] = sum over n of x[n] e^(-2 pi i k n / N).
  Complex* Values() { return work_.data(); }
  void Transform();

 private:
  void Radix2(Complex* values, bool inverse) const;

  size_t length_;
  size_t size_;                    // of the power-of-two transforms: length_, or Bluestein's
  std::vector<Complex> twiddles_;  // e^(-2 pi i k / size_), k < size_ / 2
  std::vector<Complex> chirp_;     // Bluestein: e^(-pi i n^2 / length_)
  std::vector<Complex> kernel_;    // Bluestein: the transform of the conjugate chirp
  std::vector<Complex> work_;
};

// Replaces values with their transform.
void Fourier(std::vector<std::complex<double>>& values);

}  // namespace kymhost
