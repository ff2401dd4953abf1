// What the register console says to the box, as plain functions of its field
// texts: the one-register packets (I2C bus or OSD processor), the long write
// from a list of bytes, the scaler registers of WiWoNiNo and the console line
// shown for every byte the box sends. No I/O and no widgets here, so that every
// byte the console puts on the line can be checked without a box or a display.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/packets.h"

namespace tv {

// One Write ('w') or Read ('r') of a register, as read from the four fields.
struct RegisterRequest {
  char letter = 'w';
  bool osd = false;  // the SlaveAdr text names the OSD processor
  unsigned slave = 0;
  unsigned command = 0;
  unsigned address = 0;
  unsigned data = 0;
};

constexpr char kConsoleWrite = 'w';
constexpr char kConsoleRead = 'r';

// Number fields are hexadecimal from the start of their text; the mode is the
// OSD processor whenever the SlaveAdr text contains "OSD". Null texts count
// as empty.
RegisterRequest read_register_fields(char letter, const char* slave, const char* command, const char* address,
                                     const char* data);

// The console's echo of the request: "w 0 fe 00 0007 00\n".
std::string register_request_line(const RegisterRequest& request);

// The 12-byte packet of the request. In I2C mode the Cmd value is not sent; a
// read sends no data; values wider than their byte are cut to it.
void build_register_packet(const RegisterRequest& request, Packet packet);

// The 12-byte packet that writes one register of an I2C device, without
// waiting for an echo (the scaler registers of WiWoNiNo).
void build_iic_write_packet(unsigned slave, unsigned reg, unsigned value, Packet packet);

// The long write: a packet buffer that holds every field the text can give
// (up to 100), of which only the first 12 bytes go on the line. Six values
// fill bytes 5 to 10, a seventh replaces the closing 0x0D, more are dropped.
constexpr size_t kWriteStrFields = 100;
constexpr size_t kWriteStrFirstField = 5;
using WriteStrBuffer = std::array<uint8_t, kWriteStrFirstField + kWriteStrFields>;

// Fields end at TAB, space, ',', ';', '/' or '\\'; the first empty field (two
// separators in a row, a leading separator, the end of the text) ends the list.
WriteStrBuffer build_write_str_packet(const char* text);
// How many fields the text gives before the first empty one (at most 100).
size_t count_write_str_fields(const char* text);

// The scaler of WiWoNiNo: ten registers 0xD0..0xD9 of the I2C device 0xFE.
constexpr unsigned kScalerSlave = 0xFE;
constexpr unsigned kScalerFirstRegister = 0xD0;
constexpr size_t kScalerRegisters = 10;

struct ScalerValues {
  double xc = 0, xb = 0, xd = 0;
  int32_t xc_i = 0, xb_i = 0, xd_i = 0;
  std::array<uint8_t, kScalerRegisters> registers{};  // for 0xD0 .. 0xD9
};

// Computes the registers. The formula divides by No and by Wo, so either of
// them being 0 gives no values at all: returns false and says why in `error`.
bool compute_scaler(int wi, int wo, int ni, int no, int wosz, ScalerValues* out, std::string* error);

// The eight bits of a byte from bit 7 to bit 0, as '1' and '0'.
std::string bit_string(uint8_t byte);

// The character column of a byte from the box, as UTF-8 for display: the
// byte's character in Windows-1251 (the box's code page), or "." for a
// control character and the bytes that would draw nothing. Always one
// character wide, so the console's columns stay in line.
std::string console_character(uint8_t byte);

// The console line of one byte from the box: "41 065 <A> 01000001\n".
std::string received_byte_line(uint8_t byte);

// The packet or reply as the trace's "%s" shows it: up to its first zero byte,
// never past `size`.
std::string packet_text(const uint8_t* bytes, size_t size);

}  // namespace tv
