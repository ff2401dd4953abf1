#include "cli/stop_signals.h"

#include <pthread.h>

#include <initializer_list>
#include <thread>

#include "cli/bounded_output.h"

namespace tv {

namespace {

bool ignored_by_parent(int signal_number) {
  struct sigaction current {};
  return sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

sigset_t stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
    if (!ignored_by_parent(signal_number)) sigaddset(&set, signal_number);
  return set;
}

void take_stop_signals_on_a_thread(void (*take)(int signal_number)) {
  const sigset_t set = stop_signals();
  if (sigisemptyset(&set)) return;  // every one ignored: nothing to wait for
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set, take] {
    for (;;) {
      int signal_number = 0;
      if (sigwait(&set, &signal_number) != 0) continue;
      // The terminal is gone: what would be written to it could only fail or
      // hang, and a new terminal on the same device must not get it.
      if (signal_number == SIGHUP) leave_terminal();
      take(signal_number);
    }
  }).detach();
}

}  // namespace tv
