// Read access to the reader's internal state, for tests only.
#pragma once

#include "zel.h"

struct rpc3_input_probe {
  static int mode(const rpc3file_input &r) { return r.readmode; }
  static bool is_open(const rpc3file_input &r) { return r.open_flag; }
  static bool native(const rpc3file_input &r) { return r.native_order; }
  static const rpc3_header &header(const rpc3file_input &r) { return r.header; }
  static int64_t buffer_length(const rpc3file_input &r) { return r.buffer_length; }
  static int blocks(const rpc3file_input &r) { return r.number_of_blocks; }
  static rpc3_block current(const rpc3file_input &r) { return r.current_block; }
  static rpc3_block next(const rpc3file_input &r) { return r.next_block; }
  static const rpc_channel_timehistory &channel(const rpc3file_input &r, int c) {
    return r.channel_records[c - 1];
  }
  static int groups(const rpc3file_input &r) { return r.groups; }
  static int frames_per_group(const rpc3file_input &r) { return r.frames_per_group; }
};
