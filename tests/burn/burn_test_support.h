// Shared helpers of the burn tests: a sink that records what a burn reports,
// and a box fake that records what the writers send.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "burn/burn_sink.h"
#include "burn/section_writer.h"
#include "link/packets.h"

namespace burntest {

class RecordingSink : public tv::BurnSink {
 public:
  void log(const std::string& text, int style) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({text, style});
  }
  void progress(int percent) override {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.push_back(percent);
  }
  void done(bool ok) override {
    std::lock_guard<std::mutex> lock(mutex_);
    done_calls_.push_back(ok);
  }
  void line_lost() override { ++line_lost_calls; }
  void retried() override { ++retries; }
  void stage_begun(tv::Section stage) override {
    std::lock_guard<std::mutex> lock(mutex_);
    stages_.push_back("+" + std::to_string(int(stage)));
  }
  void stage_ended(tv::Section stage, bool ok) override {
    std::lock_guard<std::mutex> lock(mutex_);
    stages_.push_back((ok ? "ok" : "failed") + std::to_string(int(stage)));
  }
  struct Line {
    std::string text;
    int style;
  };
  std::atomic<int> line_lost_calls{0};
  std::atomic<int> retries{0};
  // "+1", "ok1", "failed2", ...: stages begun and ended, by number.
  std::vector<std::string> stages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stages_;
  }
  bool has_line(const std::string& text) const {
    for (const Line& line : lines())
      if (line.text == text) return true;
    return false;
  }
  std::vector<Line> lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::vector<int> progress_values() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
  }
  std::vector<bool> done_calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_calls_;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const Line& line : lines()) result.push_back(line.text);
    return result;
  }
  bool has_red_line_containing(const std::string& part) const {
    for (const Line& line : lines())
      if (line.style == tv::kStyleBoldRed && line.text.find(part) != std::string::npos) return true;
    return false;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Line> lines_;
  std::vector<int> progress_;
  std::vector<bool> done_calls_;
  std::vector<std::string> stages_;
};

struct BoxCall {
  std::string op;  // "clr", "wrt16", "fnt", "page", "syspage", "recover"
  int address;
  int value;
  std::string text;
};

// Records every operation; `refuse` decides per call whether the box refuses,
// `fail` (when set) how else a call ends. 16-byte writes are kept in
// `memory` (unwritten bytes read 0xFF), except at `skip_write`.
class FakeBox : public tv::BoxOps {
 public:
  std::vector<BoxCall> calls;
  std::function<bool(const BoxCall&)> refuse;
  std::function<tv::LinkFault(const BoxCall&)> fail;
  std::map<int, uint8_t> memory;
  int skip_write = -1;

  int osd_clr() override { return answer({"clr", 0, 0, ""}); }
  int osd_wrt16(int address, const char* hex32, uint8_t target) override {
    int result = answer({"wrt16", address, target, std::string(hex32).substr(0, 32)});
    if (result == 0 && address != skip_write)
      for (int i = 0; i < 16; ++i) memory[address + i] = uint8_t(tv::hex_value(hex32 + 2 * i, 2));
    return result;
  }
  int osd_wrt_fnt(int address, uint8_t value) override { return answer({"fnt", address, value, ""}); }
  int osd_clr_fnt_page(int page, uint8_t operand) override { return answer({"page", page, operand, ""}); }
  int osd_clr_sysfnt_page(int page, uint8_t operand) override {
    return answer({"syspage", page, operand, ""});
  }
  int osd_flashR(int address, uint8_t* out4) override { return read({"flashR", address, 0, ""}, out4); }
  int osd_read(int address, uint8_t* out4) override { return read({"read", address, 0, ""}, out4); }
  void line_recovery() override { calls.push_back({"recover", 0, 0, ""}); }
  void discard_input() override { calls.push_back({"discard", 0, 0, ""}); }
  tv::LinkFault fault_of(int result) const override {
    return result == 0 ? tv::LinkFault::None : last_fault_;
  }

  std::vector<BoxCall> of(const std::string& op) const {
    std::vector<BoxCall> result;
    for (const BoxCall& call : calls)
      if (call.op == op) result.push_back(call);
    return result;
  }

 private:
  int answer(const BoxCall& call) {
    calls.push_back(call);
    last_fault_ = fail ? fail(call) : tv::LinkFault::None;
    if (last_fault_ == tv::LinkFault::None && refuse && refuse(call)) last_fault_ = tv::LinkFault::Refused;
    switch (last_fault_) {
      case tv::LinkFault::None: return 0;
      case tv::LinkFault::Refused: return tv::kEchoMismatch;
      case tv::LinkFault::Lost: return tv::kEchoReadFailed;
      default: return tv::kEchoTimeout + tv::kEchoMismatch;
    }
  }
  int read(const BoxCall& call, uint8_t* out4) {
    for (int i = 0; i < 4; ++i) out4[i] = memory.count(call.address + i) ? memory[call.address + i] : 0xFF;
    return answer(call);
  }
  tv::LinkFault last_fault_ = tv::LinkFault::None;
};

// Feeds a fixed list of lines to a writer.
// How often `needle` stands in what the box received.
inline int count_of(const std::vector<uint8_t>& bytes, const std::string& needle) {
  const std::string text(bytes.begin(), bytes.end());
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

inline tv::LineSource lines_of(const std::vector<std::string>& lines) {
  auto index = std::make_shared<size_t>(0);
  return [lines, index](std::string* line) {
    if (*index >= lines.size()) return false;
    *line = lines[(*index)++];
    return true;
  };
}

}  // namespace burntest
