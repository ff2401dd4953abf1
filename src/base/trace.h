// Diagnostic trace.
//
// Every notable step of the program writes one printf-style line, so that a
// service engineer running the tool from a terminal sees what went over the
// line. The trace carries no behaviour, and it must never hold up the thread
// that writes it: a burn worker cannot wait for a pager, a paused terminal or
// a pipe nobody reads. So a line bound for a pipe or a terminal goes into a
// bounded queue that a writer thread of its own empties; when the queue is
// full the line is dropped and counted, and the writer says how many went
// missing once it can write again. A line bound for a regular file (or
// /dev/null) is written at once: such a write never waits on a reader.
//
// The window traces to standard output; tvbox-burn traces to standard error
// when asked (--trace), so its own output stays clean.
#pragma once

#include <cstdint>

namespace tv {

// Writes one formatted line (the format carries its own "\n").
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Switches the trace on or off for the whole process (on by default; the
// environment variable TVBOX_TRACE=0 switches it off at start).
void set_trace_enabled(bool enabled);
bool trace_enabled();

// Where the trace goes while it is on.
enum class TraceDestination { StandardOutput, StandardError };
void set_trace_destination(TraceDestination destination);

// Lines dropped so far because the reader did not keep up or had gone.
uint64_t trace_dropped_lines();

// Waits until every queued line has been handed to the system, at most
// `timeout_ms`; true when the queue is empty. Programs call it before they
// exit, tests before they read what was traced.
bool trace_flush(int timeout_ms);

// A reader that goes away (tvbox | head) must not kill the program: every
// program ignores SIGPIPE at start, so a write to a closed pipe fails instead.
void ignore_broken_pipe_signal();

}  // namespace tv
