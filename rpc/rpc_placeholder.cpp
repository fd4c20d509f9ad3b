// RPC III time-history files.
