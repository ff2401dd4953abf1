// Feeds arbitrary text to the register console's field readers: the WriteSTR
// field split, the four register fields (one per input line), the scaler
// formula and the lines shown for received bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/console_packets.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

void check_write_str(const std::string& text) {
  const size_t fields = tv::count_write_str_fields(text.c_str());
  require(fields <= tv::kWriteStrFields);
  const tv::WriteStrBuffer buffer = tv::build_write_str_packet(text.c_str());
  require(buffer[0] == 0x90 && buffer[1] == 0x6F && buffer[4] == 'w');
  // Bytes past the last field keep their starting values.
  for (size_t i = tv::kWriteStrFirstField + fields; i < buffer.size(); ++i)
    require(buffer[i] == (i == 11 ? 0x0D : 0));
}

void check_register(const std::vector<std::string>& fields, char letter) {
  const tv::RegisterRequest request = tv::read_register_fields(letter, fields[0].c_str(), fields[1].c_str(),
                                                               fields[2].c_str(), fields[3].c_str());
  require(request.osd == (fields[0].find("OSD") != std::string::npos));
  require(request.slave == tv::hex_value(fields[0].c_str()));
  const std::string line = tv::register_request_line(request);
  require(!line.empty() && line.back() == '\n' && line[0] == letter);
  tv::Packet packet;
  tv::build_register_packet(request, packet);
  require(packet[0] == static_cast<uint8_t>(~packet[1]) && packet[11] == 0x0D);
}

int int_from(const uint8_t* data, size_t size, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | (at + i < size ? data[at + i] : 0);
  return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The fields are C strings: the text ends at a zero byte.
  const std::string text(reinterpret_cast<const char*>(data), size);
  check_write_str(text.c_str());

  std::vector<std::string> fields;
  for (size_t start = 0; fields.size() < 4;) {
    size_t end = text.find('\n', start);
    fields.push_back(text.substr(start < text.size() ? start : text.size(), end - start).c_str());
    start = end == std::string::npos ? text.size() : end + 1;
  }
  check_register(fields, 'w');
  check_register(fields, 'r');

  tv::ScalerValues values;
  std::string error;
  const bool computed =
      tv::compute_scaler(int_from(data, size, 0), int_from(data, size, 4), int_from(data, size, 8),
                         int_from(data, size, 12), int_from(data, size, 16), &values, &error);
  require(computed == error.empty());

  const std::string shown = tv::packet_text(data, size);
  require(shown.size() <= size && shown.find('\0') == std::string::npos);
  for (size_t i = 0; i < size && i < 8; ++i) {
    require(tv::bit_string(data[i]).size() == 8);
    const std::string line = tv::received_byte_line(data[i]);
    require(!line.empty() && line.back() == '\n');
  }
  return 0;
}
