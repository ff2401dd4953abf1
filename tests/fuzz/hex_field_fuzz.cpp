// Feeds arbitrary text to the hexadecimal field reader and holds it to the C
// library's "%x" at every width, and to never reading past the field.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/hex_field.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The reader sees exactly `size` bytes; the sanitizer catches a read past them.
  const char* text = reinterpret_cast<const char*>(data);
  for (size_t width = 0; width <= size && width <= 40; ++width) {
    std::string field(text, width);
    unsigned expected = 0;
    if (std::sscanf(field.c_str(), "%x", &expected) != 1) expected = 0;
    if (tv::hex_value(text, width) != expected) std::abort();
  }
  return 0;
}
