// Plain POSIX access to the simulator's pseudo-terminals, the way any serial
// program would open them, for the tests of the simulator itself (which must
// not lean on the program's own serial code).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;

// Opens the line raw and non-blocking; -1 when it cannot.
int open_raw(const std::string& path);

// Reads until `count` bytes came or `timeout_ms` passed; returns what came.
Bytes read_bytes(int fd, size_t count, int timeout_ms);

}  // namespace simtest
