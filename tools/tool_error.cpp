#include "tool_error.h"

#include "zel.h"

namespace zel_tool {

void fail(const std::string &path, const std::string &message) {
  throw ToolError(path + ": " + message);
}

std::string rpc_message(int code) {
  char buffer[96] = {};
  zel_rpc_geterror(code, buffer);
  return buffer;
}

std::string dac_message(int code) {
  char buffer[96] = {};
  zel_dac_geterror(code, buffer);
  return buffer;
}

} // namespace zel_tool
