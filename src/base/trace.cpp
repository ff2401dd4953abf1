#include "base/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tv {
namespace {

bool initially_enabled() {
  const char* value = std::getenv("TVBOX_TRACE");
  return !(value && std::strcmp(value, "0") == 0);
}

std::atomic<bool>& enabled_flag() {
  static std::atomic<bool> flag{initially_enabled()};
  return flag;
}

}  // namespace

void set_trace_enabled(bool enabled) { enabled_flag() = enabled; }
bool trace_enabled() { return enabled_flag(); }

void trace(const char* format, ...) {
  if (!trace_enabled()) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fflush(stdout);
}

}  // namespace tv
