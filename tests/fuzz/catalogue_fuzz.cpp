// Loads arbitrary bytes as a language file and looks up the keys the file
// itself names, checking every answer against a plain line-by-line reading:
// a key counts only at a line start, the first such line wins, "~" is a line
// break and other control bytes but the tab read as blanks.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/trace.h"
#include "text/catalogue.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

std::vector<std::string> cleaned_lines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < size; ++i) {
    unsigned char byte = data[i];
    if (byte == '\n')
      lines.emplace_back();
    else if (byte == '~')
      lines.back() += '\n';
    else if (byte < 0x20 && byte != '\t')
      lines.back() += ' ';
    else
      lines.back() += static_cast<char>(byte);
  }
  return lines;
}

std::string expected_text(const std::vector<std::string>& lines, const std::string& key) {
  const std::string pattern = key + "=";
  for (const std::string& line : lines)
    if (line.compare(0, pattern.size(), pattern) == 0) return line.substr(pattern.size());
  return std::string();
}

// The text before the first '=' of each of the first few raw lines, cut at a
// zero byte as a C string would be.
std::vector<std::string> keys_named_in(const uint8_t* data, size_t size) {
  std::vector<std::string> keys = {"", "m_Title", "hv_open", "zz_missing"};
  std::string raw(reinterpret_cast<const char*>(data), size);
  for (size_t start = 0; start < raw.size() && keys.size() < 24;) {
    size_t end = raw.find('\n', start);
    if (end == std::string::npos) end = raw.size();
    size_t equals = raw.find('=', start);
    if (equals != std::string::npos && equals < end)
      keys.push_back(raw.substr(start, equals - start).c_str());
    start = end + 1;
  }
  return keys;
}

bool write_file(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tv::set_trace_enabled(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Odd sizes are read as KOI8-R, even ones as Windows-1251.
  const std::string path = "/tmp/tvbox-fuzz-lang-" + std::to_string(::getpid()) + (size % 2 ? ".r8" : ".en");
  if (!write_file(path, data, size)) return 0;
  tv::set_language_file(path.c_str());
  tv::reset_catalogue_for_tests();
  require(lang_text(nullptr) != nullptr && *lang_text(nullptr) == '\0');
  const std::vector<std::string> lines = cleaned_lines(data, size);
  for (const std::string& key : keys_named_in(data, size)) {
    const char* text = lang_text(key.c_str());
    require(text != nullptr);
    require(text == expected_text(lines, key));
    tv::lang_text_utf8(key.c_str());
  }
  tv::reset_catalogue_for_tests();
  ::unlink(path.c_str());
  return 0;
}
