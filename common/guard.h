// The exception firewall of the C boundary: every exported function runs
// its body through guarded(), so nothing thrown inside (std::bad_alloc
// above all) ever reaches a caller; it becomes the family's code instead.
#pragma once

namespace zel {

template <typename R, typename Body> R guarded(R on_failure, Body &&body) noexcept {
  try {
    return body();
  } catch (...) { return on_failure; }
}

} // namespace zel
