// What tvbox-burn writes for people and scripts goes to descriptors that a
// reader may hold up: a pager, a paused terminal, a pipe nobody reads
// (tvbox-burn 2>&1 | sleep 60). A burn never waits on such a reader without
// bound: each write waits for room at most a given time, then its text is
// dropped and counted.
#pragma once

#include <cstdint>
#include <string>

namespace tv {

constexpr int kMessageWaitMs = 1000;  // an error or a warning, when stderr is slow
constexpr int kResultWaitMs = 2000;   // the summary or the JSON, when stdout is slow

// Writes `text` to `fd`, waiting for room at most `wait_ms` in all. False
// (and the text counted as dropped) when it could not be written whole.
bool write_bounded(int fd, const std::string& text, int wait_ms);

// One line for people on standard error, after the program's name: an
// error, a warning, a note.
void say(const std::string& message);

// Texts dropped so far.
uint64_t dropped_output_texts();

// After a hang-up the terminal is gone: standard output and standard error,
// where they are a terminal, are pointed at /dev/null, so nothing more is
// written to it.
void leave_terminal();

}  // namespace tv
