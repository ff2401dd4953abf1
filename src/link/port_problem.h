// Why a serial line could not be used, in words an engineer can act on.
//
// An open tells only which step failed and its errno; this looks at the
// device afterwards as well and names the cause, as a message-catalogue key
// so that the window can say it in the user's language.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace tv {

enum class PortProblem {
  None,
  NoSuchDevice,      // nothing at that path, or a link to nothing
  PermissionDenied,  // the user may not open it (usually: not in "dialout")
  Busy,              // another program holds it (EBUSY: its exclusive mode or lock)
  NotASerialLine,    // a regular file, a folder, or a device that is no terminal
  OpenFailed,        // a terminal we may open whose open failed for another reason
  SetupFailed,       // a terminal whose line settings could not be applied
};

// The cause of a failed open of `device_path`, given the step that failed
// and the errno it left (0 when not known).
PortProblem diagnose_port(const std::string& device_path, OpenResult open_result, int error_number);

// The catalogue key of a cause (empty for None), and the English text the
// program shows when the language file lacks that key.
const char* port_problem_key(PortProblem problem);
const char* port_problem_english(PortProblem problem);

// What the system said, for the causes it alone can tell (an open or a line
// setting refused for a reason of its own): the errno text; empty otherwise.
std::string port_problem_detail(PortProblem problem, int error_number);

// Why the open of `device_path` failed, in English for the command-line
// programs: the holder of a busy line when it can be seen, our own words
// where they say more (a regular file is "not a serial line"; "permission
// denied" comes with the dialout advice), else the system's.
std::string port_open_failure_text(const std::string& device_path, OpenResult open_result, int error_number);

// Who holds the device open, as far as this user may see in `proc_root`:
// "picocom (pid 4242)", several joined by ", "; empty when nobody visible
// does (another user's processes are hidden from an ordinary user). This
// process itself is left out.
std::string port_holders(const std::string& device_path, const std::string& proc_root = "/proc");

}  // namespace tv
