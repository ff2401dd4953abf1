#include "link/register_script.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tv {
namespace {

constexpr unsigned kByteMax = 0xFF;
constexpr unsigned kOsdAddressMax = 0xFFFF;
// Bytes 5 to 11 of the long write's packet: a seventh value takes the place of
// the closing 0x0D, an eighth would never be sent.
constexpr size_t kWriteStrValuesSent = kPacketSize - kWriteStrFirstField;
constexpr const char* kNoList = "-";
constexpr double kWatchSecondsMax = 24.0 * 3600.0;

// A whole word in hexadecimal, "0x" allowed, no larger than `max`.
bool hex_word(const std::string& word, unsigned max, const char* what, unsigned* value, std::string* error) {
  std::string digits = word;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.erase(0, 2);
  bool good = !digits.empty() && digits.size() <= 8;
  for (char c : digits) good = good && hex_digit(c) >= 0;
  if (good) *value = hex_value(digits.c_str());
  if (good && *value <= max) return true;
  char text[160];
  std::snprintf(text, sizeof text, "%s \"%s\" is not a hexadecimal number from 0 to %x", what, word.c_str(),
                max);
  *error = text;
  return false;
}

bool decimal_word(const std::string& word, const char* what, int* value, std::string* error) {
  errno = 0;
  char* end = nullptr;
  const long number = std::strtol(word.c_str(), &end, 10);
  if (!word.empty() && end && *end == '\0' && errno == 0 && number >= -2147483647L && number <= 2147483647L) {
    *value = static_cast<int>(number);
    return true;
  }
  *error = std::string(what) + " \"" + word + "\" is not a whole number";
  return false;
}

// A byte list as the console's Data STR field takes it, checked the stricter
// way a command line deserves: every field a byte, none empty, no more than
// the packet sends.
bool byte_list_word(const std::string& word, std::string* list, std::string* error) {
  if (word == kNoList) {
    list->clear();
    return true;
  }
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t end = word.find_first_of(",;/\\", start);
    fields.push_back(word.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (fields.size() > kWriteStrValuesSent) {
    *error = "the byte list \"" + word + "\" has " + std::to_string(fields.size()) +
             " values; a packet takes " + std::to_string(kWriteStrValuesSent);
    return false;
  }
  for (const std::string& field : fields) {
    unsigned value = 0;
    if (field.empty()) {
      *error = "the byte list \"" + word + "\" has an empty value (write \"-\" for no values)";
      return false;
    }
    if (!hex_word(field, kByteMax, "the list value", &value, error)) return false;
  }
  *list = word;
  return true;
}

bool want_words(const std::vector<std::string>& words, size_t least, size_t most, const char* usage,
                std::string* error) {
  if (words.size() >= least && words.size() <= most) return true;
  *error = std::string(words.size() < least ? "too few" : "too many") + " words: " + usage;
  return false;
}

bool parse_register_access(const std::vector<std::string>& words, bool write, RegisterCommand* command,
                           std::string* error) {
  RegisterRequest& request = command->request;
  request = RegisterRequest();
  request.letter = write ? kConsoleWrite : kConsoleRead;
  if (words.size() > 1 && words[1] == "osd") {
    request.osd = true;
    const char* usage = write ? "write osd ADDR VALUE [SLAVE CMD]" : "read osd ADDR [SLAVE CMD]";
    const size_t base = write ? 4 : 3;
    if (!want_words(words, base, base + 2, usage, error)) return false;
    if (words.size() == base + 1) {
      *error = std::string("the OSD slave needs its command too: ") + usage;
      return false;
    }
    if (!hex_word(words[2], kOsdAddressMax, "the OSD address", &request.address, error)) return false;
    if (write && !hex_word(words[3], kByteMax, "the value", &request.data, error)) return false;
    if (words.size() == base + 2) {
      if (!hex_word(words[base], kByteMax, "the OSD slave", &request.slave, error)) return false;
      if (!hex_word(words[base + 1], kByteMax, "the OSD command", &request.command, error)) return false;
    }
    return true;
  }
  const char* usage = write ? "write SLAVE REG VALUE" : "read SLAVE REG";
  const size_t count = write ? 4 : 3;
  if (!want_words(words, count, count, usage, error)) return false;
  if (!hex_word(words[1], kByteMax, "the slave", &request.slave, error)) return false;
  if (!hex_word(words[2], kByteMax, "the register", &request.address, error)) return false;
  return !write || hex_word(words[3], kByteMax, "the value", &request.data, error);
}

bool parse_scaler(const std::vector<std::string>& words, RegisterCommand* command, std::string* error) {
  if (!want_words(words, 6, 6, "scaler WI WO NI NO WOSZ", error)) return false;
  const char* names[5] = {"Wi", "Wo", "Ni", "No", "wosz"};
  int* values[5] = {&command->wi, &command->wo, &command->ni, &command->no, &command->wosz};
  for (int i = 0; i < 5; ++i)
    if (!decimal_word(words[1 + i], names[i], values[i], error)) return false;
  // Refused here, before anything of a script is sent.
  return compute_scaler(command->wi, command->wo, command->ni, command->no, command->wosz, nullptr, error);
}

bool parse_watch(const std::vector<std::string>& words, RegisterCommand* command, std::string* error) {
  if (!want_words(words, 1, 2, "watch [SECONDS]", error)) return false;
  command->seconds = 0;
  if (words.size() == 1) return true;
  errno = 0;
  char* end = nullptr;
  const double seconds = std::strtod(words[1].c_str(), &end);
  if (end && *end == '\0' && errno == 0 && std::isfinite(seconds) && seconds > 0 &&
      seconds <= kWatchSecondsMax) {
    command->seconds = seconds;
    return true;
  }
  *error = "watch: \"" + words[1] + "\" is not a number of seconds from 0 to 86400";
  return false;
}

std::string byte_list_text(const char* list) {
  const WriteStrBuffer buffer = build_write_str_packet(list);
  size_t count = count_write_str_fields(list);
  if (count > kWriteStrValuesSent) count = kWriteStrValuesSent;
  if (count == 0) return kNoList;
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    char value[4];
    std::snprintf(value, sizeof value, "%02x", buffer[kWriteStrFirstField + i]);
    text += (i ? "," : "") + std::string(value);
  }
  return text;
}

ConsolePacket packet_of(const uint8_t* bytes, bool value_follows, int pause_after_ms) {
  ConsolePacket packet;
  std::memcpy(packet.bytes.data(), bytes, kPacketSize);
  packet.value_follows = value_follows;
  packet.pause_after_ms = pause_after_ms;
  return packet;
}

}  // namespace

const char* register_verb_name(RegisterVerb verb) {
  switch (verb) {
    case RegisterVerb::Read: return "read";
    case RegisterVerb::Write: return "write";
    case RegisterVerb::WriteStr: return "writestr";
    case RegisterVerb::Scaler: return "scaler";
    case RegisterVerb::Watch: return "watch";
  }
  return "";
}

std::vector<std::string> script_words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line) {
    if (c == '#') break;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

bool parse_register_command(const std::vector<std::string>& words, RegisterCommand* command,
                            std::string* error) {
  *command = RegisterCommand();
  if (words.empty()) {
    *error = "no command";
    return false;
  }
  const std::string& name = words[0];
  if (name == "read" || name == "write") {
    command->verb = name == "read" ? RegisterVerb::Read : RegisterVerb::Write;
    return parse_register_access(words, name == "write", command, error);
  }
  if (name == "writestr") {
    command->verb = RegisterVerb::WriteStr;
    return want_words(words, 3, 3, "writestr LIST1 LIST2", error) &&
           byte_list_word(words[1], &command->list1, error) &&
           byte_list_word(words[2], &command->list2, error);
  }
  if (name == "scaler") {
    command->verb = RegisterVerb::Scaler;
    return parse_scaler(words, command, error);
  }
  if (name == "watch") {
    command->verb = RegisterVerb::Watch;
    return parse_watch(words, command, error);
  }
  *error = "unknown command \"" + name + "\" (read, write, writestr, scaler, watch)";
  return false;
}

std::string register_script_line(const RegisterRequest& r) {
  const bool write = r.letter == kConsoleWrite;
  char line[96];
  if (r.osd) {
    int n =
        std::snprintf(line, sizeof line, "%s osd %04x", write ? "write" : "read", r.address & kOsdAddressMax);
    if (write) n += std::snprintf(line + n, sizeof line - n, " %02x", r.data & kByteMax);
    if ((r.slave & kByteMax) || (r.command & kByteMax))
      std::snprintf(line + n, sizeof line - n, " %02x %02x", r.slave & kByteMax, r.command & kByteMax);
    return line;
  }
  int n = std::snprintf(line, sizeof line, "%s %02x %02x", write ? "write" : "read", r.slave & kByteMax,
                        r.address & kByteMax);
  if (write) std::snprintf(line + n, sizeof line - n, " %02x", r.data & kByteMax);
  return line;
}

std::string write_str_script_line(const char* list1, const char* list2) {
  return "writestr " + byte_list_text(list1) + " " + byte_list_text(list2);
}

std::string scaler_script_line(int wi, int wo, int ni, int no, int wosz) {
  char line[96];
  std::snprintf(line, sizeof line, "scaler %d %d %d %d %d", wi, wo, ni, no, wosz);
  return line;
}

std::vector<ConsolePacket> write_str_packets(const char* list1, const char* list2) {
  const WriteStrBuffer first = build_write_str_packet(list1);
  const WriteStrBuffer second = build_write_str_packet(list2);
  return {packet_of(first.data(), false, kWriteStrPauseMs), packet_of(second.data(), false, 0)};
}

std::vector<ConsolePacket> scaler_packets(const ScalerValues& values) {
  std::vector<ConsolePacket> packets;
  for (size_t i = 0; i < kScalerRegisters; ++i) {
    Packet packet;
    build_iic_write_packet(kScalerSlave, kScalerFirstRegister + static_cast<unsigned>(i), values.registers[i],
                           packet);
    packets.push_back(packet_of(packet, false, kIicWritePauseMs));
  }
  return packets;
}

std::vector<ConsolePacket> command_packets(const RegisterCommand& command, std::string* error) {
  switch (command.verb) {
    case RegisterVerb::Read:
    case RegisterVerb::Write: {
      Packet packet;
      build_register_packet(command.request, packet);
      return {packet_of(packet, command.verb == RegisterVerb::Read, 0)};
    }
    case RegisterVerb::WriteStr: return write_str_packets(command.list1.c_str(), command.list2.c_str());
    case RegisterVerb::Scaler: {
      ScalerValues values;
      if (!compute_scaler(command.wi, command.wo, command.ni, command.no, command.wosz, &values, error))
        return {};
      return scaler_packets(values);
    }
    case RegisterVerb::Watch: break;
  }
  return {};
}

std::string hex_bytes(const uint8_t* bytes, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += (i ? " " : "") + std::string(pair);
  }
  return text;
}

}  // namespace tv
