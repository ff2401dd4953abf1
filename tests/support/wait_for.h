// Waiting for a condition with a deadline: tests never sleep a fixed time in
// the hope that something has happened.
#pragma once

#include <functional>

namespace testsupport {

// Checks `condition` until it holds or `timeout_ms` has passed; returns
// whether it held. Between checks the calling thread rests a few milliseconds.
bool wait_for(const std::function<bool()>& condition, int timeout_ms);

}  // namespace testsupport
