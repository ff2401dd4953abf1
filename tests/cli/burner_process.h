// tvbox-burn run as a process of its own, as a user or a script runs it: its
// exit status and everything it printed, with a deadline so a hang fails the
// test instead of stalling the suite.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace clitest {

const std::string& burner_program();

struct Finished {
  int exit_code = -1;  // -1: killed by a signal or by the deadline
  int signal = 0;      // the signal that ended it, if one did
  bool timed_out = false;
  std::string out, err;
};

// How to start it, beyond its arguments.
struct Launch {
  int stderr_fd = -1;              // else captured
  int stdout_fd = -1;              // else captured
  std::vector<std::string> env;    // "NAME=value" set on top of the test's own
  std::vector<std::string> unset;  // names taken out of the environment
  std::string program;             // empty: tvbox-burn
  std::vector<int> ignored;        // stop signals left ignored, as nohup does
};

class BurnerProcess {
 public:
  // Starts tvbox-burn with `args`. Its standard error (output) goes to
  // `stderr_fd` (`stdout_fd`) when one is given, else it is captured.
  explicit BurnerProcess(const std::vector<std::string>& args, int stderr_fd = -1, int stdout_fd = -1);
  BurnerProcess(const std::vector<std::string>& args, const Launch& launch);
  ~BurnerProcess();

  pid_t pid() const { return pid_; }
  // Reads its output until it ends, at most `timeout_ms`; then it is killed.
  Finished finish(int timeout_ms);

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

// Runs it to the end.
Finished run_burner(const std::vector<std::string>& args, int timeout_ms);
Finished run_burner(const std::vector<std::string>& args, const Launch& launch, int timeout_ms);

// One JSON object a program printed, with the schema it must match.
struct SchemaCheck {
  std::string schema;    // a path
  std::string instance;  // a path
};

// Every instance checked against its schema by python3-jsonschema, a
// validator that is not ours (formats such as date-time included). Exit 0
// when all match; each mismatch is a line of the output.
Finished validate_with_schemas(const std::vector<SchemaCheck>& checks);

}  // namespace clitest
