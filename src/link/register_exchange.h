// One packet of the register console on the line, the way a command-line tool
// needs it: sent, its echo checked, and for a read the register's value that
// follows the echo. The window's console leaves the I2C echo to its poll
// timer instead; the packets are the same (register_script.h).
#pragma once

#include <cstdint>
#include <vector>

#include "link/box_link.h"
#include "link/register_script.h"

namespace tv {

// How long a read's value may take after its echo.
constexpr int kRegisterValueWaitMs = 1000;

struct PacketOutcome {
  int result = kEchoOk;        // the echo check's code (packets.h)
  std::vector<uint8_t> reply;  // every byte the box answered, echo first
  int value = -1;              // a read's register value, -1 when none came
};

// Traces the packet and sends it (see above).
PacketOutcome exchange_console_packet(BoxLink& link, const ConsolePacket& packet);

// The packet as the trace shows it before it is sent: the register or
// address, then each byte.
void trace_console_packet(unsigned address, const uint8_t* packet);

// The words of a failed exchange: "no answer from the box", "the box did not
// echo the packet", ...
const char* exchange_failure_text(int result);

}  // namespace tv
