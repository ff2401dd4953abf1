// Entry point of the TV Box service tool.
#include <cstdio>
#include <string>

#include "base/trace.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
  // The trace may go to a pipe (tvbox -a | head): its reader leaving must
  // not take a burn down with it.
  tv::ignore_broken_pipe_signal();
  // Asked by scripts and package checks, often without a display: answered
  // before anything of the window is made. (-h, -H and -? print the usage
  // and go on to open the window, as they always did.)
  const tv::CommandLineOptions options = tv::parse_command_line(argc, argv);
  if (options.show_version || options.show_help) {
    const std::string text = options.show_version ? std::string("tvbox " TVBOX_VERSION "\n")
                                                  : tv::usage_text(argc > 0 ? argv[0] : "tvbox");
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  int exit_code = tv::run_program(argc, argv);
  // A slow reader gets a moment for the last lines, not a hang.
  tv::trace_flush(500);
  return exit_code;
}
