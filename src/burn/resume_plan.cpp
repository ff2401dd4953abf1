#include "burn/resume_plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "burn/burn_log_file.h"
#include "burn/log_sentences.h"

namespace tv {
namespace fs = std::filesystem;

namespace {

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(trimmed(part));
  return parts;
}

// The value of a "Label:    value" line, when `line` is one.
bool labelled(const std::string& line, const char* label, std::string* value) {
  const std::string prefix = std::string(label) + ":";
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  *value = trimmed(line.substr(prefix.size()));
  return true;
}

// A stage by the word the log uses for it ("FLASH"), or by its box ("Flash").
bool stage_named(const std::string& name, Section* stage) {
  for (const SectionInfo& info : section_table()) {
    if (info.stage && (name == info.stage || name == info.box)) {
      *stage = info.section;
      return true;
    }
  }
  return false;
}

bool stages_named(const std::string& list, unsigned* bits) {
  *bits = 0;
  if (list.empty() || list == "none") return true;
  for (const std::string& name : split(list, ',')) {
    Section stage;
    if (!stage_named(name, &stage)) return false;
    *bits |= section_flag(stage);
  }
  return true;
}

// The burn logs in `dir`, newest first: by the time in the name, then by
// the time the file was last written (two burns within one second).
std::vector<std::string> burn_logs_newest_first(const std::string& dir) {
  struct Entry {
    std::string stamp;
    int64_t modified_ns;
    std::string path;
  };
  std::vector<Entry> logs;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    struct stat info;
    if (!is_burn_log_name(name) || stat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    logs.push_back({name.substr(0, 19), int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                    it->path().string()});
  }
  std::sort(logs.begin(), logs.end(), [](const Entry& a, const Entry& b) {
    return a.stamp != b.stamp ? a.stamp > b.stamp : a.modified_ns > b.modified_ns;
  });
  std::vector<std::string> paths;
  for (const Entry& entry : logs) paths.push_back(entry.path);
  return paths;
}

bool read_text_file(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

}  // namespace

std::string stage_list_text(unsigned bits) {
  std::string text;
  for (const SectionInfo& info : section_table())
    if (info.stage && (bits & section_flag(info.section)))
      text += (text.empty() ? "" : ", ") + std::string(info.stage);
  return text.empty() ? sentence::kNoStages : text;
}

std::string resume_point_text(const ResumePoint& point) {
  std::string done;
  for (const SectionInfo& info : section_table())
    if (info.stage && (point.done & section_flag(info.section)))
      done += (done.empty() ? "" : ",") + std::string(info.stage);
  char flash[16];
  std::snprintf(flash, sizeof flash, "%04X", point.flash_from & 0xFFFF);
  return "done=" + (done.empty() ? std::string("none") : done) +
         "; flash-from=" + (point.flash_from >= 0 ? std::string(flash) : std::string("start"));
}

bool read_resume_point(const std::string& text, ResumePoint* point) {
  ResumePoint read;
  bool have_done = false, have_flash = false;
  for (const std::string& field : split(text, ';')) {
    const size_t equals = field.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = field.substr(0, equals), value = field.substr(equals + 1);
    if (key == "done") {
      have_done = stages_named(value, &read.done);
      if (!have_done) return false;
    } else if (key == "flash-from") {
      char* end = nullptr;
      const long address = std::strtol(value.c_str(), &end, 16);
      have_flash = value == "start" || (!value.empty() && *end == '\0' && address >= 0 && address <= 0xFFFF);
      if (!have_flash) return false;
      read.flash_from = value == "start" ? -1 : int(address);
    }
  }
  if (!have_done || !have_flash) return false;
  *point = read;
  return true;
}

bool read_saved_burn(const std::string& log_text, SavedBurn* burn) {
  SavedBurn saved;
  std::istringstream in(log_text);
  std::string line, value;
  if (!std::getline(in, line) || line.compare(0, 16, "TV Box burn log,") != 0) return false;
  bool have_point = false;
  unsigned done_lines = 0;
  std::string outcome;
  while (std::getline(in, line)) {
    line = trimmed(line);
    if (labelled(line, "SHA-256", &value))
      saved.sha256 = value;
    else if (labelled(line, "Port", &value))
      saved.port = saved.plan.port = value;
    else if (labelled(line, "Started", &value))
      saved.plan.started = value.substr(0, value.find(' ', value.find(' ') + 1));
    else if (labelled(line, "Setting", &value) && value.compare(0, 10, "sections =") == 0) {
      if (!stages_named(trimmed(value.substr(10)), &saved.plan.chosen)) return false;
    } else if (labelled(line, "Resume", &value)) {
      have_point = read_resume_point(value, &saved.plan.point);
    } else if (labelled(line, "Outcome", &value)) {
      outcome = value;
    } else if (line.find(kTakenBackTo) != std::string::npos) {
      // What a resume could not vouch for is not finished, whatever the
      // lines before say.
      ResumePoint trusted;
      if (read_resume_point(line.substr(line.find(kTakenBackTo) + std::strlen(kTakenBackTo)), &trusted))
        done_lines = trusted.done;
    } else {
      // "12:00:01.250 ok      stage FLASH done": a log written before the
      // Resume line existed, or one cut short by a crash.
      const size_t at = line.find(" stage ");
      Section stage;
      if (at != std::string::npos && line.size() > at + 12 &&
          line.compare(line.size() - 5, 5, " done") == 0 &&
          stage_named(line.substr(at + 7, line.size() - 5 - at - 7), &stage))
        done_lines |= section_flag(stage);
    }
  }
  if (!have_point) saved.plan.point = ResumePoint{done_lines, -1};
  saved.ended_badly = outcome != "OK";
  *burn = saved;
  return true;
}

bool find_resume_plan(const std::string& dir, const std::string& port, const std::string& sha256,
                      ResumePlan* plan, std::string* why) {
  for (const std::string& path : burn_logs_newest_first(dir)) {
    std::string text;
    SavedBurn burn;
    if (!read_text_file(path, &text) || !read_saved_burn(text, &burn) || burn.port != port) continue;
    // Only the box's last burn counts: anything older has been overwritten
    // in part by it.
    if (burn.sha256 != sha256) {
      *why = "the last burn on " + port + " was of another file (" + path + ")";
      return false;
    }
    if (!burn.ended_badly) {
      *why = "the last burn of this file on " + port + " ended well (" + path + ")";
      return false;
    }
    if (burn.plan.chosen == 0 || burn.plan.owed() == 0) {
      *why = "the last burn on " + port + " left no stage to burn (" + path + ")";
      return false;
    }
    burn.plan.log_path = path;
    *plan = burn.plan;
    return true;
  }
  *why = "no saved log of a burn on " + port + " in " + dir;
  return false;
}

}  // namespace tv
