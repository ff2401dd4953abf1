#include "base/hex_field.h"

#include <cstdint>

namespace tv {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

namespace {

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A bounded view of the field: nothing past its width or past a NUL is seen.
class Field {
 public:
  Field(const char* text, size_t width) : at_(text), left_(width) {}
  char peek(size_t ahead = 0) const {
    for (size_t i = 0; i <= ahead; ++i)
      if (i >= left_ || at_[i] == '\0') return '\0';
    return at_[ahead];
  }
  char take() {
    char c = peek();
    if (c != '\0') ++at_, --left_;
    return c;
  }

 private:
  const char* at_;
  size_t left_;
};

// The digits themselves, accumulated like the C library's strtoul: exact
// while the number fits 64 bits; a longer one saturates (`*saturated`).
uint64_t read_digits(Field& field, bool* saturated) {
  uint64_t value = 0;
  *saturated = false;
  for (int digit; (digit = hex_digit(field.peek())) >= 0; field.take()) {
    if (value > (UINT64_MAX >> 4)) *saturated = true;
    value = value * 16 + unsigned(digit);
  }
  return *saturated ? UINT64_MAX : value;
}

}  // namespace

unsigned hex_value(const char* text, size_t width) {
  if (!text) return 0;
  Field field(text, width);
  while (is_blank(field.peek())) field.take();
  bool negative = false;
  if (field.peek() == '-' || field.peek() == '+') negative = field.take() == '-';
  // "0x" is a prefix only when a digit follows; otherwise the 0 is the number.
  if (field.peek() == '0' && (field.peek(1) == 'x' || field.peek(1) == 'X') &&
      hex_digit(field.peek(2)) >= 0) {
    field.take();
    field.take();
  }
  // A saturated number keeps its sign out, as strtoul does; an exact one,
  // even all ones, is negated.
  bool saturated = false;
  uint64_t value = read_digits(field, &saturated);
  if (negative && !saturated) value = 0 - value;
  return static_cast<unsigned>(value);
}

}  // namespace tv
