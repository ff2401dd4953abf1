// The one reader of hexadecimal text fields.
//
// Every number the box's files and the register console hold in text is read
// the way the C library's "%x" conversion reads it: leading blanks skipped, an
// optional sign, an optional "0x", then hexadecimal digits up to the first
// other character. A field that does not begin with a hexadecimal number reads
// as 0. Record fields sit at fixed columns, so a reader may also cap how many
// characters belong to the field.
#pragma once

#include <cstddef>

namespace tv {

// The value of one hexadecimal digit, or -1 for any other character.
int hex_digit(char c);

// The leading hexadecimal number of at most `width` characters of `text`
// (reading stops earlier at a NUL); 0 for a null text.
unsigned hex_value(const char* text, size_t width = static_cast<size_t>(-1));

}  // namespace tv
