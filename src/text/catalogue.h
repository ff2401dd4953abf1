// The message catalogue: every caption that changes with the language is
// fetched by key from a plain-text language file ("key=text" lines, "~" for a
// line break), loaded once on the first lookup. The file is looked for in
// the working folder, then in the installed data folder (data_files.h).
#pragma once

#include <cstddef>
#include <string>

// The language file name; start-up sets it before the main window is built.
// Bounded: set it through set_language_file(), which never overflows it.
constexpr size_t kLangFileNameSize = 64;
extern char _r_fn[kLangFileNameSize];

// The caption for a key: never null, empty when the key or the file is missing.
// The bytes are the file's own (Windows-1251 for "lang.ru", KOI8-R for lang.r8).
const char* lang_text(const char* key);

namespace tv {

// Sets _r_fn, cutting a name that does not fit.
void set_language_file(const char* name);

// Forgets the loaded catalogue (tests only: the program loads it once per run).
void reset_catalogue_for_tests();

}  // namespace tv

namespace tv {

// The caption for a key converted to UTF-8 for display (FOX draws UTF-8):
// "lang.r8" is read as KOI8-R, every other language file as Windows-1251
// (of which plain ASCII English is a subset).
std::string lang_text_utf8(const char* key);

}  // namespace tv
