// The burn log in the window's language. The burn engine writes English
// (burn/log_sentences.h): tvbox-burn and the saved logs keep it so. The
// window finds the engine's sentence in each line it shows and says it in
// the words the language file gives for it, with the same variable parts.
#pragma once

#include <string>
#include <vector>

namespace tv {

// One engine sentence, or a piece that sentences take as a part, and the
// catalogue key of the language file's words for it. A sentence (a template
// with its line end) is found in a whole line, a piece only in a part.
struct BurnLogRendering {
  const char* english;  // the engine's template, "{}" for each variable part
  const char* key;      // the language file's template, the same parts in the same order
};

// Every sentence the window knows, the more particular before the more
// general where both would match a line.
const std::vector<BurnLogRendering>& burn_log_renderings();

// `line` as the window shows it. A line of no known sentence, or of one the
// language file has no words for, stays as it is; so does its line end.
// Runs on the GUI thread: the catalogue is read there only.
std::string window_language_line(const std::string& line);

}  // namespace tv
