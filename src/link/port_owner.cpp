#include "link/port_owner.h"

#include <atomic>

namespace tv {
namespace {
std::atomic<bool> burn_owns{false};
}

void set_burn_owns_programming_port(bool owns) { burn_owns = owns; }
bool burn_owns_programming_port() { return burn_owns; }

}  // namespace tv
