#include "link/register_exchange.h"

#include "base/clock.h"
#include "base/trace.h"

namespace tv {

void trace_console_packet(unsigned address, const uint8_t* packet) {
  trace("###clr ** ->%04x\n", address);
  for (size_t i = 0; i < kPacketSize; ++i)
    trace("%02d(%02x) (%03u)<%c>\n", static_cast<int>(i), packet[i], packet[i], packet[i]);
}

PacketOutcome exchange_console_packet(BoxLink& link, const ConsolePacket& packet) {
  PacketOutcome outcome;
  // The address as the console traces it: an OSD processor's 16 bits, else
  // the I2C register.
  const bool osd = packet.bytes[1] == kTargetOsd;
  trace_console_packet(osd ? (unsigned(packet.bytes[7]) << 8 | packet.bytes[8]) : packet.bytes[5],
                       packet.bytes.data());
  SerialPort& port = link.port();
  if (port.write(packet.bytes.data(), kPacketSize) != static_cast<long>(kPacketSize)) {
    outcome.result = kEchoReadFailed + kEchoMismatch;
    return outcome;
  }
  port.drain();
  uint8_t echo[kPacketSize];
  outcome.result = link.wait_echo(echo, sizeof echo, packet.bytes.data(), packet.bytes[1]);
  const size_t answered = outcome.result >= kEchoTimeout ? 0 : kPacketSize;
  outcome.reply.assign(echo, echo + answered);
  if (outcome.result == kEchoOk && packet.value_follows) {
    uint8_t value = 0;
    const long got = port.read(&value, 1, kRegisterValueWaitMs);
    if (got == 1) {
      outcome.value = value;
      outcome.reply.push_back(value);
    } else {
      outcome.result = got < 0 ? kEchoReadFailed : kEchoTimeout;
    }
  }
  if (outcome.result == kEchoOk && packet.pause_after_ms > 0) protocol_pause_ms(packet.pause_after_ms);
  return outcome;
}

const char* exchange_failure_text(int result) {
  if (result == kEchoOk) return "";
  if (result >= kEchoTimeout) return "no answer from the box";
  if (result == kEchoReadFailed || result == kEchoReadFailed + kEchoMismatch)
    return "the line to the box was lost";
  return "the box did not echo the packet (refused)";
}

}  // namespace tv
