// The status codes of the RPC III family and their messages: the one table
// behind zel_rpc_geterror, the tests' expectations and the comments of the
// ZEL_RPC_* codes in include/zel.h (a test compares them).
#pragma once

#include "common/status_table.h"
#include "zel.h"

namespace zel {
namespace rpc3 {

using StatusMessage = StatusText;

constexpr StatusMessage kStatusMessages[] = {
    {ZEL_RPC_OK, "No error"},
    {ZEL_RPC_OPEN_FAILED, "RPC file could not be opened."},
    {ZEL_RPC_NOT_RPC, "File is not a valid RPC III time history file."},
    {ZEL_RPC_BAD_HANDLE, "Invalid handle to RPC file."},
    {ZEL_RPC_NO_DATA, "RPC file contains no time history data."},
    {ZEL_RPC_BAD_HEADER, "Error reading RPC file header record."},
    {ZEL_RPC_SIZE_MISMATCH, "RPC file header is not compatible with file size."},
    {ZEL_RPC_BLOCK_RANGE, "RPC file block pointer out of range."},
    {ZEL_RPC_CREATE_FAILED, "Can not create RPC file. Check path and permissions."},
    {ZEL_RPC_CHANNEL_RANGE, "RPC file channel number out of range. Data not processed."},
    {ZEL_RPC_OUT_OF_MEMORY, "Ran out of memory during RPC file output operation."},
    {ZEL_RPC_WRITE_FAILED, "Error writing RPC file."},
};
// The message of a code; "Unknown error" for a code outside the table.
constexpr const char *status_message(int code) {
  return zel::status_message(kStatusMessages, code);
}

} // namespace rpc3
} // namespace zel
