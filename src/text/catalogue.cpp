// The message catalogue. The language file is read once into a block that
// lives until the process ends, so the texts handed out stay valid for the
// whole run and callers may keep the pointers.
#include "text/catalogue.h"

#include <fox-1.6/fx.h>
#include <fox-1.6/FXCP1251Codec.h>
#include <fox-1.6/FXKOI8RCodec.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/trace.h"
#include "text/data_files.h"

char _r_fn[kLangFileNameSize] = "lang.r";

namespace {

const char kEmptyText[] = "";
// Zero bytes after the file's own, so the last line always ends in a string
// terminator even when the file does not end with a line feed.
constexpr size_t kTailZeros = 300;

struct Catalogue {
  char* buffer = nullptr;  // file bytes + kTailZeros zeros; never freed by the program
  size_t size = 0;         // the file's size in bytes
  bool koi8 = false;       // the loaded file is lang.r8 (KOI8-R)
};

Catalogue& catalogue() {
  static Catalogue instance;
  return instance;
}

// Line feeds end the lines; every other control byte but the tab becomes a
// blank (so a CR of a CR LF line end stays as a trailing blank); then "~"
// marks the line breaks inside a text.
void clean_buffer(char* buffer, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    unsigned char byte = static_cast<unsigned char>(buffer[i]);
    if (byte == 0x0A)
      buffer[i] = 0;
    else if (byte < 0x20 && byte != 0x09)
      buffer[i] = ' ';
  }
  for (size_t i = 0; i < size; ++i) {
    if (buffer[i] == '~') buffer[i] = '\n';
  }
}

bool name_means_koi8(const char* file_name) {
  size_t length = std::strlen(file_name);
  return length >= 3 && std::strcmp(file_name + length - 3, ".r8") == 0;
}

// Far more than any language file; a bigger file is not one.
constexpr size_t kMaxLanguageFileBytes = 16u << 20;

// The language file is found in the working folder or in the installed data
// folder; a pipe or device under its name is not read (it would block).
bool load_catalogue() {
  const std::string path = tv::find_data_file(_r_fn);
  tv::trace("_r_fn %s **\n", _r_fn);
  std::string bytes;
  if (path.empty() || !tv::read_regular_file(path, &bytes, kMaxLanguageFileBytes)) return false;
  char* buffer = static_cast<char*>(std::calloc(bytes.size() + kTailZeros, 1));
  if (!buffer) return false;
  std::memcpy(buffer, bytes.data(), bytes.size());
  clean_buffer(buffer, bytes.size());
  Catalogue& loaded = catalogue();
  loaded.buffer = buffer;
  loaded.size = bytes.size();
  loaded.koi8 = name_means_koi8(_r_fn);
  return true;
}

// A key counts only where a line starts, so "xTest=" never answers for "Test".
const char* find_entry(const char* pattern, size_t pattern_length) {
  const Catalogue& loaded = catalogue();
  const char* buffer = loaded.buffer;
  for (size_t offset = 0; offset < loaded.size; ++offset) {
    bool line_start = offset == 0 || buffer[offset - 1] == 0;
    if (!line_start) continue;
    if (offset + pattern_length > loaded.size) break;
    if (std::memcmp(buffer + offset, pattern, pattern_length) == 0) {
      return buffer + offset + pattern_length;
    }
  }
  return nullptr;
}

}  // namespace

const char* lang_text(const char* key) {
  if (!key) return kEmptyText;
  std::string pattern = std::string(key) + "=";
  if (!catalogue().buffer && !load_catalogue()) return kEmptyText;
  const char* text = find_entry(pattern.data(), pattern.size());
  return text ? text : kEmptyText;
}

namespace tv {

void set_language_file(const char* name) { std::snprintf(_r_fn, sizeof(_r_fn), "%s", name ? name : ""); }

void reset_catalogue_for_tests() {
  Catalogue& loaded = catalogue();
  std::free(loaded.buffer);
  loaded = Catalogue();
}

std::string lang_text_utf8(const char* key) {
  const char* text = lang_text(key);
  if (!*text) return std::string();
  FX::FXString converted;
  if (catalogue().koi8) {
    FX::FXKOI8RCodec codec;
    converted = codec.mb2utf(text);
  } else {
    FX::FXCP1251Codec codec;
    converted = codec.mb2utf(text);
  }
  return std::string(converted.text(), converted.length());
}

}  // namespace tv
