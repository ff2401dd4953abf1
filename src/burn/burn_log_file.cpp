#include "burn/burn_log_file.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tv {
namespace fs = std::filesystem;

namespace {

constexpr size_t kPortPartLimit = 80;
constexpr const char* kLogExtension = ".log";
// "YYYY-MM-DD_HH-MM-SS_" before the port.
constexpr size_t kStampLength = 20;

const char* stage_word(Section stage) { return section_info(stage).stage; }

std::string without_line_end(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

bool is_digit_at(const std::string& name, size_t i) {
  return i < name.size() && name[i] >= '0' && name[i] <= '9';
}

// Only files this program named are ever removed from the folder.
bool looks_like_burn_log(const std::string& name) {
  static const char kShape[] = "dddd-dd-dd_dd-dd-dd_";
  if (name.size() <= kStampLength + std::strlen(kLogExtension)) return false;
  for (size_t i = 0; i < kStampLength; ++i) {
    if (kShape[i] == 'd' ? !is_digit_at(name, i) : name[i] != kShape[i]) return false;
  }
  return name.compare(name.size() - 4, 4, kLogExtension) == 0;
}

// " (window settings)" after a setting's value; nothing when not known.
std::string from(const std::string& source) { return source.empty() ? std::string() : " (" + source + ")"; }

FILE* create_new_file(const std::string& path) {
  // "x": never take over a file that is already there.
  return std::fopen(path.c_str(), "wx");
}

}  // namespace

bool is_burn_log_name(const std::string& name) { return looks_like_burn_log(name); }

std::string local_time_text(std::time_t when, const char* format) {
  std::tm parts{};
  localtime_r(&when, &parts);
  char text[64];
  std::strftime(text, sizeof text, format, &parts);
  return text;
}

FILE* create_numbered_file(const std::string& dir, const std::string& name, std::string* path) {
  for (int attempt = 1; attempt < 100; ++attempt) {
    std::string candidate = dir + "/" + name;
    if (attempt > 1) candidate.insert(candidate.size() - 4, "-" + std::to_string(attempt));
    if (FILE* file = create_new_file(candidate)) {
      *path = candidate;
      return file;
    }
    if (errno != EEXIST) break;
  }
  return nullptr;
}

std::string time_of_day_stamp() {
  timeval now{};
  gettimeofday(&now, nullptr);
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03d", int(now.tv_usec / 1000));
  return local_time_text(now.tv_sec, "%H:%M:%S") + millis;
}

std::string default_burn_log_dir() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return std::string(state) + "/tvbox/logs";
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : ".") + "/.local/state/tvbox/logs";
}

std::string port_file_part(const std::string& port) {
  std::string part;
  for (char c : port) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '_' || c == '-';
    part += plain ? c : '-';
  }
  part.erase(0, part.find_first_not_of("-."));
  if (part.size() > kPortPartLimit) part.erase(0, part.size() - kPortPartLimit);
  if (part.empty()) part = "port";
  return part;
}

std::string burn_log_file_name(std::time_t when, const std::string& port) {
  return local_time_text(when, "%Y-%m-%d_%H-%M-%S_") + port_file_part(port) + kLogExtension;
}

int prune_burn_logs(const std::string& dir, std::time_t now, int max_age_days, size_t keep) {
  return prune_named_files(dir, now, max_age_days, keep, looks_like_burn_log);
}

int prune_named_files(const std::string& dir, std::time_t now, int max_age_days, size_t keep,
                      const std::function<bool(const std::string&)>& ours) {
  struct Entry {
    std::string name;
    fs::path path;
    std::time_t modified;
  };
  std::vector<Entry> logs;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    struct stat info;
    if (!ours(name) || stat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    logs.push_back({name, it->path(), info.st_mtime});
  }
  // Newest first: the names begin with the date and time.
  std::sort(logs.begin(), logs.end(), [](const Entry& a, const Entry& b) { return a.name > b.name; });
  const std::time_t oldest = now - std::time_t(max_age_days) * 24 * 3600;
  int removed = 0;
  for (size_t i = 0; i < logs.size(); ++i) {
    if (i < keep && logs[i].modified >= oldest) continue;
    std::error_code ignored;
    if (fs::remove(logs[i].path, ignored)) ++removed;
  }
  return removed;
}

BurnLogHeader burn_log_header(const BurnLogSetup& setup) {
  BurnLogHeader header;
  header.program = setup.program;
  header.chipset_path = setup.chipset_path;
  header.port = setup.port;
  std::string sections;
  for (const SectionInfo& info : section_table())
    if (info.section != Section::Header && (setup.sections & section_flag(info.section)))
      sections += (sections.empty() ? "" : ",") + std::string(info.box);
  header.settings = {
      {"flash_delay", std::to_string(setup.flash_delay) + " s" + from(setup.flash_delay_from)},
      {"sysfont_delay", std::to_string(setup.sysfont_delay) + " s" + from(setup.sysfont_delay_from)},
      {"device", setup.device},
      {"sections", sections},
      {"verify", (setup.verify ? "yes" : "no") + from(setup.verify_from)}};
  return header;
}

LogKeeping checked_keeping(int files, int days) {
  LogKeeping keeping;
  if (files >= kKeepFilesMin && files <= kKeepFilesMax) keeping.files = files;
  if (days >= kKeepDaysMin && days <= kKeepDaysMax) keeping.days = days;
  return keeping;
}

const char* log_style_word(int style) {
  switch (style) {
    case kStyleBoldRed: return "error";
    case kStyleRed:
    case kStyleUnderlinedRed: return "warning";
    default: return "ok";
  }
}

BurnLogFile::BurnLogFile(BurnSink& next) : next_(next) {}

BurnLogFile::~BurnLogFile() { close("unfinished (the program stopped before the burn ended)"); }

bool BurnLogFile::open(const std::string& dir, const BurnLogHeader& header, std::string* error) {
  std::error_code made;
  fs::create_directories(dir, made);
  if (made) {
    if (error) *error = "cannot make the folder " + dir + ": " + made.message();
    return false;
  }
  const std::time_t now = std::time(nullptr);
  const std::string name = burn_log_file_name(now, header.port);
  file_ = create_numbered_file(dir, name, &path_);
  if (!file_) {
    if (error) *error = "cannot write a log file in " + dir + ": " + std::strerror(errno);
    return false;
  }
  write_header(header);
  return true;
}

namespace {

// A log from a bench of several machines says which one burned the box.
std::string host_name() {
  char name[256] = {0};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

}  // namespace

void BurnLogFile::write_header(const BurnLogHeader& header) {
  std::fprintf(file_, "TV Box %s log, written by %s\n", header.kind.c_str(), header.program.c_str());
  std::fprintf(file_, "Version:  %s\n", TVBOX_VERSION);
  std::fprintf(file_, "Host:     %s\n", host_name().c_str());
  std::fprintf(file_, "Started:  %s\n", local_time_text(std::time(nullptr), "%Y-%m-%d %H:%M:%S %z").c_str());
  if (header.kind == "backup") {
    // A backup has no chipset of its own: it names the file it writes.
    std::fprintf(file_, "Backup:   %s\n", header.chipset_path.c_str());
  } else {
    std::fprintf(file_, "Chipset:  %s\n", header.chipset_path.c_str());
    if (header.chipset_size >= 0) {
      std::fprintf(file_, "Size:     %lld bytes\n", static_cast<long long>(header.chipset_size));
      std::fprintf(file_, "SHA-256:  %s\n", header.chipset_sha256.c_str());
    } else {
      std::fprintf(file_, "Size:     unknown (the file could not be read)\n");
    }
  }
  std::fprintf(file_, "Port:     %s\n", header.port.c_str());
  if (!header.label.empty()) std::fprintf(file_, "Label:    %s\n", header.label.c_str());
  if (!header.resumes.empty()) std::fprintf(file_, "Resumes:  %s\n", header.resumes.c_str());
  for (const auto& setting : header.settings)
    std::fprintf(file_, "Setting:  %s = %s\n", setting.first.c_str(), setting.second.c_str());
  for (const LogLine& line : header.load_log)
    std::fprintf(file_, "Load:     %-7s %s\n", log_style_word(line.style),
                 without_line_end(line.text).c_str());
  std::fputs("\n", file_);
  std::fflush(file_);
}

void BurnLogFile::write_line(const std::string& word, const std::string& text) {
  if (!file_) return;
  if (std::fprintf(file_, "%s %-7s %s\n", time_of_day_stamp().c_str(), word.c_str(), text.c_str()) < 0)
    write_failed_ = true;
  // Each line reaches the disk as it happens: a crash or a pulled plug must
  // not take the log of the burn that was running with it.
  std::fflush(file_);
}

void BurnLogFile::log(const std::string& text, int style) {
  const char* word = log_style_word(style);
  write_line(word, without_line_end(text));
  if (std::strcmp(word, "error") == 0) failures_.push_back(without_line_end(text));
  next_.log(text, style);
}

void BurnLogFile::record_only(const std::string& text, int style) {
  write_line(log_style_word(style), without_line_end(text));
}

void BurnLogFile::progress(int percent) { next_.progress(percent); }

void BurnLogFile::stage_begun(Section stage) {
  write_line("ok", std::string("stage ") + stage_word(stage) + " begins");
  next_.stage_begun(stage);
}

void BurnLogFile::track_verification(bool asked, const std::string& off_reason) {
  verification_.emplace(asked, off_reason);
}

void BurnLogFile::stage_ended(Section stage, bool ok) {
  if (verification_) verification_->stage_ended(stage, ok);
  if (ok) {
    write_line("ok", std::string("stage ") + stage_word(stage) + " done");
    resume_.done |= section_flag(stage);
    if (stage == Section::Flash) resume_.flash_from = -1;
  } else if (cancel_ && *cancel_)
    write_line("error", std::string("cancelled in ") + stage_word(stage));
  else
    write_line("error", std::string("stage ") + stage_word(stage) + " failed");
  next_.stage_ended(stage, ok);
}

void BurnLogFile::failed_because(FailureCause cause) {
  if (verification_) verification_->failed_because(cause);
  next_.failed_because(cause);
}

void BurnLogFile::retried() {
  ++retries_;
  next_.retried();
}

void BurnLogFile::line_lost() {
  write_line("error", "the line to the box was lost");
  next_.line_lost();
}

// Written into the file as it happens, so that a later resume reads what
// this one could no longer vouch for even when the program is killed.
void BurnLogFile::resume_point_revised(const ResumePoint& trusted) {
  resume_ = trusted;
  write_line("warning", kTakenBackTo + resume_point_text(trusted));
  next_.resume_point_revised(trusted);
}

void BurnLogFile::close(const char* outcome) {
  if (!file_) return;
  std::fputs("\n", file_);
  if (failures_.empty()) {
    std::fputs("Failures: none\n", file_);
  } else {
    std::fputs("Failures:\n", file_);
    for (const std::string& failure : failures_) std::fprintf(file_, "  %s\n", failure.c_str());
  }
  std::fprintf(file_, "Retries:  %d\n", retries_);
  std::fprintf(file_, "Ended:    %s\n", local_time_text(std::time(nullptr), "%Y-%m-%d %H:%M:%S %z").c_str());
  std::fprintf(file_, "Outcome:  %s\n", outcome);
  if (verification_) std::fputs(verification_->log_line().c_str(), file_);
  // What a resume of this burn would start from (tvbox-burn --resume, the
  // window's Resume button).
  if (std::strcmp(outcome, "OK") != 0)
    std::fprintf(file_, "Resume:   %s\n", resume_point_text(resume_).c_str());
  if (std::fclose(file_) != 0) write_failed_ = true;
  file_ = nullptr;
}

void BurnLogFile::done(bool ok) {
  const bool was_open = is_open();
  const bool cancelled = cancel_ && *cancel_;
  if (verification_) verification_->done(ok, cancelled);
  close(ok ? "OK" : cancelled ? "CANCELLED" : "FAILED");
  say_verification();
  if (was_open && !write_failed_ && make_saved_line_) next_.log(make_saved_line_(path_), saved_style_);
  next_.done(ok);
}

// The front end's log says it too, also when the file could not be written:
// an engineer who reads "OK" must see whether it was checked.
void BurnLogFile::say_verification() {
  if (!verification_) return;
  next_.log(verification_->log_line(), verification_->verified() ? kStyleBoldBlue : kStyleBold);
}

}  // namespace tv
