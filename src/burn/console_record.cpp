#include "burn/console_record.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "link/console_packets.h"
#include "link/register_script.h"

namespace tv {
namespace {

constexpr const char* kRecordPrefix = "console-";
constexpr const char* kRecordExtension = ".txt";
constexpr const char* kStampShape = "dddd-dd-dd-dddddd-";

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::string console_record_name(std::time_t when, const std::string& port) {
  return kRecordPrefix + local_time_text(when, "%Y-%m-%d-%H%M%S-") + port_file_part(port) + kRecordExtension;
}

bool is_console_record_name(const std::string& name) {
  const std::string prefix = kRecordPrefix;
  const size_t shape = std::strlen(kStampShape);
  if (name.compare(0, prefix.size(), prefix) != 0 || !ends_with(name, kRecordExtension)) return false;
  if (name.size() <= prefix.size() + shape + std::strlen(kRecordExtension)) return false;
  for (size_t i = 0; i < shape; ++i) {
    const char c = name[prefix.size() + i];
    if (kStampShape[i] == 'd' ? !(c >= '0' && c <= '9') : c != kStampShape[i]) return false;
  }
  return true;
}

int prune_console_records(const std::string& dir, std::time_t now, const LogKeeping& keeping) {
  return prune_named_files(dir, now, keeping.days, size_t(keeping.files), is_console_record_name);
}

ConsoleRecord::~ConsoleRecord() { close(); }

bool ConsoleRecord::open(const std::string& dir, const std::string& port, std::time_t now,
                         std::string* error) {
  close();
  std::error_code made;
  std::filesystem::create_directories(dir, made);
  const std::string name = console_record_name(now, port);
  file_ = create_numbered_file(dir, name, &path_);
  if (!file_) {
    if (error) *error = "cannot write a console record in " + dir + ": " + std::strerror(errno);
    return false;
  }
  write("# TV Box register console record, port " + port + ", started " +
        local_time_text(now, "%Y-%m-%d %H:%M:%S %z") + "\n");
  write("# Play it back with: tvbox-reg -p " + port + " --script " + path_ + "\n");
  return true;
}

void ConsoleRecord::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void ConsoleRecord::write(const std::string& text) {
  if (!file_) return;
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);  // a record is read while the window runs, and must survive a crash
}

void ConsoleRecord::sent(const std::string& script_line,
                         const std::vector<std::array<uint8_t, 12>>& packets) {
  std::string text;
  const std::string now = time_of_day_stamp();
  for (const auto& packet : packets)
    text += "# " + now + " sent " + hex_bytes(packet.data(), packet.size()) + "\n";
  write(text + script_line + "\n");
}

void ConsoleRecord::received(const uint8_t* bytes, size_t count, const char* how) {
  if (count == 0) return;
  std::string text;
  const std::string now = time_of_day_stamp();
  for (size_t i = 0; i < count; ++i) text += "# " + now + " " + how + " " + received_byte_line(bytes[i]);
  write(text);
}

void ConsoleRecord::note(const std::string& text) { write("# " + time_of_day_stamp() + " " + text + "\n"); }

}  // namespace tv
