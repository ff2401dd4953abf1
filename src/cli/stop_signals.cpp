#include "cli/stop_signals.h"

#include <initializer_list>

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

}  // namespace tv
