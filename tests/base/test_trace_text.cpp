// The trace shows bytes the box sent; none of them may reach a terminal as a
// control (an escape sequence, a carriage return), while text in any language
// stays as it is.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "base/trace.h"

namespace {

TEST(TraceSafeText, ControlBytesAreWrittenAsHexAndTextPasses) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"***<ZZZZ       \r>\n", "***<ZZZZ       \\x0D>\n"},
      {"\x1b[2J\x1b]0;title\x07\n", "\\x1B[2J\\x1B]0;title\\x07\n"},
      {"tab\there\x7f\n", "tab\there\\x7F\n"},
      {"\nwf -> (1-ff) 0 ++++\n", "\nwf -> (1-ff) 0 ++++\n"},
      {"Нет такого устройства \xE2\x80\x94 com3\n", "Нет такого устройства \xE2\x80\x94 com3\n"},
      {"\x9b"
       "31m \xC2\x9B \xFF\xE2\x80\n",
       "\\x9B31m \\xC2\\x9B \\xFF\\xE2\\x80\n"},                    // C1 CSI, raw and in UTF-8
      {"\xC0\xAF \xED\xA0\x80\n", "\\xC0\\xAF \\xED\\xA0\\x80\n"},  // overlong, a surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(tv::trace_safe_text(c.in), c.out) << c.in;
}

// Through the trace itself, into a file as the run command writes it.
TEST(TraceSafeText, TheTraceWritesNoControlByte) {
  char path[] = "/tmp/tvbox-trace-XXXXXX";
  const int file = mkstemp(path);
  ASSERT_GE(file, 0);
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  dup2(file, STDOUT_FILENO);
  const bool was_enabled = tv::trace_enabled();
  tv::set_trace_enabled(true);
  tv::trace("1!====<%s>\n",
            "\x1b"
            "c\r\x05\xfa");
  ASSERT_TRUE(tv::trace_flush(5000));
  tv::set_trace_enabled(was_enabled);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(file);
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  unlink(path);
  EXPECT_EQ(text, "1!====<\\x1Bc\\x0D\\x05\\xFA>\n");
}

}  // namespace
