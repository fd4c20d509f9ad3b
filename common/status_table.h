// The shape of a code family's one table of status codes and messages, and
// its lookup: each family lists its codes once (rpc/rpc_status.h,
// dac/dac_status.h), and its geterror function copies what this finds.
#pragma once

#include <cstddef>

namespace zel {

struct StatusText {
  int code;
  const char *message;
};

// The text of a code outside a family's table.
constexpr const char *kUnknownStatus = "Unknown error";

// The message of a code in a table (entries with code and message, a
// family may add more); kUnknownStatus for any other code.
template <typename Entry, std::size_t N>
constexpr const char *status_message(const Entry (&table)[N], int code) {
  for (const Entry &s : table)
    if (s.code == code) return s.message;
  return kUnknownStatus;
}

} // namespace zel
