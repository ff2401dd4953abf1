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
//
// Many lines carry bytes the box sent. A control byte among them would change
// the state of the terminal that shows the trace (an escape sequence, a
// carriage return that overwrites the line), so every such byte is written
// as \xNN: the trace holds printable text, tabs and line ends only.
#pragma once

#include <cstdint>
#include <string>

namespace tv {

// Writes one formatted line (the format carries its own "\n").
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The text with every byte that a terminal could take for a control written
// as \xNN: C0 controls but tab and line feed, DEL, and bytes above 0x7F that
// are not well-formed UTF-8 or that encode a C1 control. Letters of any
// language in UTF-8 pass unchanged.
std::string trace_safe_text(const std::string& text);

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
