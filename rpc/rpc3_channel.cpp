#include "zel.h"

rpc_channel_timehistory::rpc_channel_timehistory()
    : description{}, units{}, map(0), scale(1.0), lower_limit(-1.0), upper_limit(1.0) {}
