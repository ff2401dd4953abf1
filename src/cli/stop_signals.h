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

// Takes the stop signals on one thread of their own, with sigwait, so that
// the work done on a stop is ordinary code, not a signal handler: `take` is
// called with each signal that comes. Every other thread keeps them blocked;
// call this before any thread starts, so that all inherit the mask. After a
// hang-up nothing more is written to the terminal, before `take` runs.
void take_stop_signals_on_a_thread(void (*take)(int signal_number));

}  // namespace tv
