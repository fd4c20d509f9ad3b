// Failures the tool reports: one line on stderr and a non-zero exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace zel_tool {

class ToolError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// "path: message", thrown as a ToolError.
[[noreturn]] void fail(const std::string &path, const std::string &message);

// The library's own message for an RPC III or a DAC status code.
std::string rpc_message(int code);
std::string dac_message(int code);

} // namespace zel_tool
