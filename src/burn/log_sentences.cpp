#include "burn/log_sentences.h"

#include <cstdio>
#include <cstring>

namespace tv {

std::string fill_sentence(const char* pattern, std::initializer_list<std::string> parts) {
  std::string text;
  const std::string* part = parts.begin();
  for (const char* at = pattern; *at;) {
    const char* mark = std::strstr(at, "{}");
    if (!mark) {
      text += at;
      break;
    }
    text.append(at, mark);
    if (part != parts.end()) text += *part++;
    at = mark + 2;
  }
  return text;
}

std::string hex_digits(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

}  // namespace tv
