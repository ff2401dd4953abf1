// Entry point of the TV Box service tool.
#include <cstdio>

#include "base/trace.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
  // The trace may go to a pipe (tvbox -a | head): its reader leaving must
  // not take a burn down with it.
  tv::ignore_broken_pipe_signal();
  // Asked by scripts and package checks, often without a display: answered
  // before anything of the window is made.
  if (tv::parse_command_line(argc, argv).show_version) {
    std::puts("tvbox " TVBOX_VERSION);
    return 0;
  }
  int exit_code = tv::run_program(argc, argv);
  // A slow reader gets a moment for the last lines, not a hang.
  tv::trace_flush(500);
  return exit_code;
}
