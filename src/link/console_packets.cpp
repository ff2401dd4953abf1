#include "link/console_packets.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tv {
namespace {

constexpr uint8_t kConsoleOsdTarget = 0x6F;  // 'o'
constexpr uint8_t kConsoleI2cTarget = 0x63;  // 'c'
constexpr uint8_t kByteWrite = 0x77;         // 'w'
constexpr uint8_t kWriteStrFirstByte = 0x90;
constexpr uint8_t kPacketEnd = 0x0D;
constexpr const char* kFieldSeparators = "\t ,;/\\";
constexpr double kScalerClock = 921.6;
constexpr double kFixedPointOne = 65535.0;

uint8_t low8(unsigned value) { return static_cast<uint8_t>(value & 0xFF); }

void start_packet(Packet packet, uint8_t target, uint8_t letter) {
  std::memset(packet, 0, kPacketSize);
  packet[0] = static_cast<uint8_t>(~target);
  packet[1] = target;
  packet[4] = letter;
  packet[11] = kPacketEnd;
}

// Truncation towards zero into 32 bits; a value outside the range (a huge
// wosz, say) is held at the nearest end instead of being undefined.
int32_t truncate_to_int32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

uint8_t byte_of(int32_t value, int shift) {
  return static_cast<uint8_t>((static_cast<uint32_t>(value) >> shift) & 0xFF);
}

// Calls `take` with each field of the text in order, up to the first empty one.
template <typename Take>
size_t for_each_field(const char* text, Take take) {
  if (!text) return 0;
  size_t index = 0;
  const char* at = text;
  while (index < kWriteStrFields) {
    size_t length = std::strcspn(at, kFieldSeparators);
    if (length == 0) break;
    take(index, std::string(at, length));
    ++index;
    at += length;
    if (*at == '\0') break;
    ++at;  // past the one separator that ended this field
  }
  return index;
}

}  // namespace

RegisterRequest read_register_fields(char letter, const char* slave, const char* command, const char* address,
                                     const char* data) {
  RegisterRequest request;
  request.letter = letter;
  request.osd = slave && std::strstr(slave, "OSD") != nullptr;
  request.slave = hex_value(slave);
  request.command = hex_value(command);
  request.address = hex_value(address);
  request.data = hex_value(data);
  return request;
}

std::string register_request_line(const RegisterRequest& r) {
  char line[96];
  std::snprintf(line, sizeof line, "%c %d %02x %02x %04x %02x\n", r.letter, r.osd ? 1 : 0, r.slave, r.command,
                r.address, r.data);
  return line;
}

void build_register_packet(const RegisterRequest& r, Packet packet) {
  const bool write = r.letter == kConsoleWrite;
  const unsigned data = write ? r.data : 0;
  if (r.osd) {
    start_packet(packet, kConsoleOsdTarget, static_cast<uint8_t>(r.letter));
    packet[5] = low8(r.slave);
    packet[6] = low8(r.command);
    packet[7] = low8(r.address >> 8);
    packet[8] = low8(r.address);
    packet[9] = low8(data);
    return;
  }
  start_packet(packet, kConsoleI2cTarget, static_cast<uint8_t>(r.letter));
  packet[5] = low8(r.address);
  packet[6] = low8(data);
  packet[7] = low8(r.slave);
}

void build_iic_write_packet(unsigned slave, unsigned reg, unsigned value, Packet packet) {
  start_packet(packet, kConsoleI2cTarget, kByteWrite);
  packet[5] = low8(reg);
  packet[6] = low8(value);
  packet[7] = low8(slave);
}

WriteStrBuffer build_write_str_packet(const char* text) {
  WriteStrBuffer buffer{};
  buffer[0] = kWriteStrFirstByte;
  buffer[1] = kConsoleOsdTarget;
  buffer[4] = kByteWrite;
  buffer[11] = kPacketEnd;
  for_each_field(text, [&buffer](size_t index, const std::string& field) {
    buffer[kWriteStrFirstField + index] = low8(hex_value(field.c_str()));
  });
  return buffer;
}

size_t count_write_str_fields(const char* text) {
  return for_each_field(text, [](size_t, const std::string&) {});
}

bool compute_scaler(int wi, int wo, int ni, int no, int wosz, ScalerValues* out, std::string* error) {
  (void)wi;
  (void)ni;  // shown in the trace only; the scaler does not use them
  if (no == 0 || wo == 0) {
    if (error) {
      *error = no == 0 ? "WiWoNiNo: No is 0, so the scaler cannot be computed; nothing was sent."
                       : "WiWoNiNo: Wo is 0, so the scaler cannot be computed; nothing was sent.";
    }
    return false;
  }
  ScalerValues v;
  v.xc = kScalerClock / no;
  v.xb = v.xc - (static_cast<double>(wo) * wosz) / (static_cast<double>(no) * 10.0);
  v.xd = (v.xc - v.xb) / wo;
  v.xc_i = truncate_to_int32(v.xc * kFixedPointOne);
  v.xb_i = truncate_to_int32(v.xb * kFixedPointOne);
  v.xd_i = truncate_to_int32(v.xd * kFixedPointOne);
  // Only the low 16 bits are sent; the difference is taken wide so it cannot overflow.
  const int32_t active = static_cast<int32_t>(static_cast<int64_t>(no) - wo);
  const int32_t sources[5] = {v.xb_i, v.xd_i, v.xc_i, wo, active};
  for (size_t i = 0; i < 5; ++i) {
    v.registers[2 * i] = byte_of(sources[i], 0);
    v.registers[2 * i + 1] = byte_of(sources[i], 8);
  }
  if (out) *out = v;
  return true;
}

std::string bit_string(uint8_t byte) {
  std::string bits(8, '0');
  for (int i = 0; i < 8; ++i)
    if (byte & (0x80u >> i)) bits[i] = '1';
  return bits;
}

namespace {

// Windows-1251, the code page of the box's texts and of the language files,
// from 0x80 to 0xBF; 0xC0 to 0xFF are the Cyrillic letters U+0410 to U+044F
// in order. 0 marks the one byte the code page leaves undefined.
constexpr uint16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

constexpr uint16_t kSoftHyphen = 0x00AD;  // drawn as nothing, so it is not shown

void append_utf8(std::string& out, uint16_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string console_character(uint8_t byte) {
  uint16_t code = byte;
  if (byte >= 0xC0)
    code = static_cast<uint16_t>(0x0410 + (byte - 0xC0));
  else if (byte >= 0x80)
    code = kCp1251High[byte - 0x80];
  const bool control = byte < 0x20 || byte == 0x7F;
  if (control || code == 0 || code == kSoftHyphen) return ".";
  std::string shown;
  append_utf8(shown, code);
  return shown;
}

std::string received_byte_line(uint8_t byte) {
  char head[16];
  std::snprintf(head, sizeof head, "%02x %03d <", byte, byte);
  return head + console_character(byte) + "> " + bit_string(byte) + "\n";
}

std::string packet_text(const uint8_t* bytes, size_t size) {
  if (!bytes) return std::string();
  size_t length = 0;
  while (length < size && bytes[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

}  // namespace tv
