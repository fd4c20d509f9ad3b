#include "dac/dac_scratch.h"

#include <algorithm>
#include <new>

namespace zel {
namespace dac {

namespace {
float *g_buffer = nullptr;
int64_t g_capacity = 0;
bool g_fail_next = false;
} // namespace

float *scratch_reserve(int64_t needed) {
  if (needed <= g_capacity) return g_buffer;
  scratch_release();
  if (g_fail_next) {
    g_fail_next = false;
    return nullptr;
  }
  const int64_t capacity = std::max<int64_t>(needed, 1024);
  g_buffer = new (std::nothrow) float[static_cast<size_t>(capacity)]();
  if (g_buffer) g_capacity = capacity;
  return g_buffer;
}

void scratch_release() {
  delete[] g_buffer;
  g_buffer = nullptr;
  g_capacity = 0;
}

int64_t scratch_capacity() { return g_capacity; }

void scratch_fail_next_allocation() { g_fail_next = true; }

} // namespace dac
} // namespace zel
