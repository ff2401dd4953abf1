// The register console's record: every packet the window's console sends and
// every byte the box sends back, with the time, in a text file of the burn
// logs' folder. The packets are written as tvbox-reg script lines ("write fe
// 07 3a") and everything else as '#' comments, so that
// `tvbox-reg --script RECORD` sends the same packets again.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "burn/burn_log_file.h"

namespace tv {

// "console-2026-12-08-231500-com3.txt": the date, local time and the port.
std::string console_record_name(std::time_t when, const std::string& port);
// True for a name console_record_name() makes (and only those are pruned).
bool is_console_record_name(const std::string& name);
// Removes records of `dir` beyond the keeping rule of the burn logs.
int prune_console_records(const std::string& dir, std::time_t now, const LogKeeping& keeping);

class ConsoleRecord {
 public:
  ConsoleRecord() = default;
  ~ConsoleRecord();
  ConsoleRecord(const ConsoleRecord&) = delete;
  ConsoleRecord& operator=(const ConsoleRecord&) = delete;

  // Creates the folder when needed and a new record in it, and writes its
  // header. False with the reason in `error`.
  bool open(const std::string& dir, const std::string& port, std::time_t now, std::string* error);
  void close();
  bool is_open() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  // A command sent: each packet as a comment with the time, then the
  // script line that sends them.
  void sent(const std::string& script_line, const std::vector<std::array<uint8_t, 12>>& packets);
  // Bytes from the box, one comment line each as the console shows them;
  // `how` says which way they came ("echo" for one the console checked).
  void received(const uint8_t* bytes, size_t count, const char* how = "received");
  // A line of its own, as a comment.
  void note(const std::string& text);

 private:
  void write(const std::string& text);

  std::FILE* file_ = nullptr;
  std::string path_;
};

}  // namespace tv
