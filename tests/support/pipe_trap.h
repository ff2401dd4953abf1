// Named pipes standing where the program expects a data file. Opening one
// for reading blocks until a writer comes, so a program that does not check
// what it opens hangs there; these helpers keep a test from hanging with it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// Makes a named pipe at `path`; false when it cannot.
bool make_pipe(const std::string& path);

// Runs `work` (on the calling thread). When it is not done after
// `deadline_ms`, a writer is opened and closed on each pipe, which frees a
// reader stuck on one; the result is then false.
bool finishes_despite_pipes(const std::function<void()>& work, const std::vector<std::string>& pipes,
                            int deadline_ms = 5000);

}  // namespace testsupport
