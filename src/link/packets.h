// Command packets of the programming port and the primitives built on them.
//
// The box listens for 12-byte command packets and echoes each back; bytes 1 to
// 10 of the echo must equal the packet's. Result codes, shared by the family:
//   0    the echo (or answer) arrived and matched
//   1    a read from the port failed (the line vanished)
//   100  time-out (3 s for the first byte, 10 s for the answer of a 16-byte
//        write; the rest of an answer follows its first byte in one burst)
//   +4   added when the bytes compared do not match (so 4, 5 and 104 occur)
// The primitives themselves are the members of BoxLink (box_link.h). None of
// them retries; the callers repeat a failed one with the line recovery step
// between attempts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/hex_field.h"

namespace tv {

constexpr int kEchoOk = 0;
constexpr int kEchoReadFailed = 1;
constexpr int kEchoTimeout = 100;
constexpr int kEchoMismatch = 4;

constexpr uint8_t kTargetFlash = 0x66;   // 'f'
constexpr uint8_t kTargetOsd = 0x6F;     // 'o'
constexpr uint8_t kTargetI2c = 0x63;     // 'c'
constexpr uint8_t kTargetSystem = 0x73;  // 's', OSD clear only

constexpr size_t kPacketSize = 12;
using Packet = uint8_t[kPacketSize];

}  // namespace tv
