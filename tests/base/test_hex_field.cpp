// The reader of hexadecimal fields: the console's texts, the data texts of the
// programming primitives and the chipset records all go through it, so it must
// read exactly what "%x" reads, and never look past a field's width.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "base/hex_field.h"

namespace {

unsigned scanf_value(const std::string& text) {
  unsigned value = 0;
  return std::sscanf(text.c_str(), "%x", &value) == 1 ? value : 0;
}

TEST(HexValue, ReadsTheLeadingNumberLikePercentX) {
  struct Case {
    const char* text;
    unsigned value;
  };
  const Case cases[] = {
      {"1f", 0x1F},
      {"  FF rest", 0xFF},
      {"\t\n 7", 7},
      {"0x10", 0x10},
      {"0X1a", 0x1A},
      {"0xg", 0},
      {"7g", 7},
      {"zz", 0},
      {"", 0},
      {"-1", 0xFFFFFFFFu},
      {"+2A", 0x2A},
      {"- 1", 0},
      {"123456789", 0x23456789u},
      {"FFFFFFFFFFFFFFFFF", 0xFFFFFFFFu},
      // All ones that still fit 64 bits is exact and negates; one more digit saturates.
      {"-ffffffffffffffff", 1u},
      {"-fffffffffffffffff", 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tv::hex_value(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(tv::hex_value(c.text), scanf_value(c.text)) << '"' << c.text << '"';
  }
  EXPECT_EQ(tv::hex_value(nullptr), 0u);
}

TEST(HexValue, StopsAtTheFieldsWidth) {
  EXPECT_EQ(tv::hex_value(":10ABCD00", 0), 0u);
  EXPECT_EQ(tv::hex_value("10ABCD00", 2), 0x10u);
  EXPECT_EQ(tv::hex_value("ABCD00", 4), 0xABCDu);
  EXPECT_EQ(tv::hex_value(" 1FF", 2), 1u);  // the blank counts against the width
  EXPECT_EQ(tv::hex_value("0x1F", 2), 0u);  // no digit after the prefix inside the field
  EXPECT_EQ(tv::hex_value("0x1F", 3), 1u);
  // A NUL ends the field before its width: nothing past it is read.
  const char text[] = {'4', '\0', '5', '6'};
  EXPECT_EQ(tv::hex_value(text, sizeof text), 4u);
}

// Random texts over the characters that matter to "%x" agree with the C
// library, cut to every width up to their length.
TEST(HexValue, AgreesWithTheCLibraryOnRandomTexts) {
  const char alphabet[] = " \t+-0xX19afAFgz";
  std::mt19937 random(12);
  for (int n = 0; n < 20000; ++n) {
    std::string text;
    for (size_t length = random() % 24; text.size() < length;)
      text += alphabet[random() % (sizeof alphabet - 1)];
    for (size_t width = 0; width <= text.size(); ++width)
      ASSERT_EQ(tv::hex_value(text.c_str(), width), scanf_value(text.substr(0, width)))
          << '"' << text << '"' << width;
  }
}

TEST(HexDigit, ValuesAndNonDigits) {
  EXPECT_EQ(tv::hex_digit('0'), 0);
  EXPECT_EQ(tv::hex_digit('9'), 9);
  EXPECT_EQ(tv::hex_digit('a'), 10);
  EXPECT_EQ(tv::hex_digit('F'), 15);
  EXPECT_EQ(tv::hex_digit('g'), -1);
  EXPECT_EQ(tv::hex_digit('x'), -1);
  EXPECT_EQ(tv::hex_digit('\0'), -1);
}

}  // namespace
