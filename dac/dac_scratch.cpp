#include "dac/dac_scratch.h"

#include <algorithm>
#include <new>

namespace zel {
namespace dac {

float *ReadScratch::reserve(int64_t needed) {
  if (needed <= capacity_) return buffer_.get();
  release();
  const int64_t capacity = std::max<int64_t>(needed, 1024);
  buffer_.reset(new (std::nothrow) float[static_cast<size_t>(capacity)]());
  if (buffer_) capacity_ = capacity;
  return buffer_.get();
}

void ReadScratch::release() {
  buffer_.reset();
  capacity_ = 0;
}

} // namespace dac
} // namespace zel
