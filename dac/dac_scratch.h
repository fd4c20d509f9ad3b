// The read buffer of one DAC handle: the floats zel_dac_getnpts reads
// through before widening them, kept between the handle's calls and freed
// with the handle. Each handle has its own, so handles on different threads
// share nothing.
#pragma once

#include <cstdint>
#include <memory>

namespace zel {
namespace dac {

class ReadScratch {
public:
  // A buffer of at least `needed` floats. When the buffer is smaller it is
  // freed and reallocated, zeroed, to the larger of `needed` and 1024
  // floats; null (and capacity 0) when that allocation fails.
  float *reserve(int64_t needed);

  // Frees the buffer; the capacity becomes 0.
  void release();

  // Floats the buffer holds now.
  int64_t capacity() const { return capacity_; }

private:
  std::unique_ptr<float[]> buffer_;
  int64_t capacity_ = 0;
};

} // namespace dac
} // namespace zel
