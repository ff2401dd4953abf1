// Why a serial line could not be used, in words an engineer can act on.
//
// open_com and xs_open answer only "did not open"; this looks at the device
// afterwards and names the likely cause, as a message-catalogue key so that
// the window can say it in the user's language.
#pragma once

#include <string>

namespace tv {

enum class PortProblem {
  None,
  NoSuchDevice,      // nothing at that path, or a link to nothing
  PermissionDenied,  // the user may not open it (usually: not in "dialout")
  Busy,              // it exists and may be opened, but another program holds it
  NotASerialLine,    // a regular file, a folder, or a device that is no terminal
  SetupFailed,       // a terminal whose line settings could not be applied
};

// The cause of a failed open of `device_path`, given the open's result code
// (1: the device did not open; 2 to 4: its line settings failed).
PortProblem diagnose_port(const std::string& device_path, int open_result);

// The catalogue key of a cause (empty for None), and the English text the
// program shows when the language file lacks that key.
const char* port_problem_key(PortProblem problem);
const char* port_problem_english(PortProblem problem);

}  // namespace tv
