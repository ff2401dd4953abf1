#include "link/port_owner.h"

#include <atomic>

namespace tv {
namespace {
std::atomic<bool> burn_owns{false};
std::atomic<bool> control_running{false};
}

void set_burn_owns_programming_port(bool owns) { burn_owns = owns; }
bool burn_owns_programming_port() { return burn_owns; }
void set_control_exchange_running(bool running) { control_running = running; }
bool control_exchange_running() { return control_running; }

}  // namespace tv
