// The signals that stop a command-line run: ctrl-C, a kill, the hang-up of a
// dropped terminal or ssh session, and ctrl-\.
#pragma once

#include <signal.h>

namespace tv {

// The stop signals this process should take. One its parent left ignored
// stays ignored, as every Unix tool does: `nohup tvbox-burn --wait ...` must
// outlive the terminal it was started from, and a background job of a
// non-interactive shell must not stop on the terminal's ctrl-C.
sigset_t stop_signals();

}  // namespace tv
