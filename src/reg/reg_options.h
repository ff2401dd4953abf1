// The command line of tvbox-reg and its scripts: which port, which commands,
// how to report. Parsing does no I/O beyond reading the script, so a script
// that does not parse is refused before anything is sent.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "link/register_script.h"

namespace tv {

constexpr int kRegExitOk = 0;
constexpr int kRegExitBoxFailed = 1;  // no answer, a refused packet, a port that cannot be used
constexpr int kRegExitUsage = 2;      // bad options or a script line that does not parse

struct RegOptions {
  std::string port;                  // empty: the default (TVBOX_PORTS, the window's, com3)
  std::string script;                // --script FILE, "-" for standard input
  std::vector<std::string> command;  // the command's words when there is no script
  bool keep_going = false;
  bool json = false;
  bool trace = false;
  bool help = false;
  bool version = false;
};

// Fills `options` from the arguments (argv[0] is the program). Options come
// before the command. False with a one-line reason in `error`.
bool parse_reg_options(int argc, const char* const* argv, RegOptions* options, std::string* error);

// One command to run, and where it came from.
struct ScriptStep {
  std::string source;  // the script's name; empty for the command line
  int line = 0;        // its line in the script
  std::string text;    // the command as written
  RegisterCommand command;
};

// "script.txt:4: " for a script's line, "" for the command line.
std::string step_place(const ScriptStep& step);

// Every command of a script: blank lines and '#' comments are passed over.
// False at the first line that does not parse, with "NAME:LINE: reason" in
// `error`; then no step is to be run.
bool read_script(std::istream& in, const std::string& name, std::vector<ScriptStep>* steps,
                 std::string* error);

// The --help text (no line longer than 80 columns).
std::string reg_usage_text();

}  // namespace tv
