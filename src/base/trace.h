// Diagnostic trace on standard output.
//
// Every notable step of the program writes one printf-style line and flushes it
// at once, so that a service engineer running the tool from a terminal sees what
// went over the line even if the program is killed. The trace carries no
// behaviour. Tests and benchmarks may switch it off to keep their output small.
#pragma once

namespace tv {

// Writes one formatted line (the format carries its own "\n") and flushes.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Switches the trace on or off for the whole process (on by default; the
// environment variable TVBOX_TRACE=0 switches it off at start).
void set_trace_enabled(bool enabled);
bool trace_enabled();

}  // namespace tv
