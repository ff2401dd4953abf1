// Start-up and shutdown of the program, split into pieces a test can call:
// start_program() does everything up to the event loop, run_event_loop()
// runs it, shut_down_program() closes the ports and drops the windows.
#pragma once

#include <cstddef>
#include <string>

namespace FX {
class FXApp;
}

namespace tv {

class SerialPort;

struct CommandLineOptions {
  bool show_usage = false;     // -h, -H, -?
  int control_port = 5;        // -cN / -CN, as atoi reads N
  bool extended_mode = false;  // -a (lower case only)
  bool show_version = false;   // --version: print it and do not start
  bool show_help = false;      // --help: print the usage and do not start
};

// Every argument that begins with '-' or '/' is a switch named by its second
// character; anything else is ignored.
CommandLineOptions parse_command_line(int argc, char** argv);

// "Usage: <program> [ -sw [ -sw ..] ]  ..." with the switch list.
std::string usage_text(const char* program);

// The language file for a stored language value: "lang." and the code after
// the first blank ("ENGLISH en" -> "lang.en"); "lang.ru" for a value without
// a blank. Never longer than the catalogue's file-name buffer can hold.
std::string language_file_for(const std::string& stored_language);

// The one-packet probe of the box: opens `port` as the programming line
// `port_name`, sends 05 FA 00 x9 0D, waits (3 s of silence at most) for one
// byte, closes the port again. True when the box answered, i.e. it is a
// model this program does not support.
bool probe_box(SerialPort& port, const std::string& port_name);

// Throws away what the box has sent so far on `port`. Bounded, so a box that
// keeps talking cannot hold up start-up. Returns the number of bytes dropped.
size_t drain_programming_port(SerialPort& port);

// Steps 1 to 14 of start-up. With `existing_app` null a new application object
// is made and initialised from argc/argv; a test passes its own (already
// initialised) one instead, because a process has only one.
void start_program(int argc, char** argv, FX::FXApp* existing_app = nullptr);

// Runs the event loop until the application quits; returns its exit code.
int run_event_loop();

// Closes the control port, then the programming port (the window's lines),
// and destroys the application object with all its windows (only the main
// window when the application was lent by the caller of start_program).
void shut_down_program();

// The whole program: start, event loop, shutdown.
int run_program(int argc, char** argv);

}  // namespace tv
