#include "burner_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/clock.h"

namespace clitest {

const std::string& burner_program() {
  static const std::string path = std::string(TVBOX_BINARY_DIR) + "/src/tvbox-burn";
  return path;
}

BurnerProcess::BurnerProcess(const std::vector<std::string>& args, int stderr_fd, int stdout_fd)
    : BurnerProcess(args, Launch{stderr_fd, stdout_fd, {}, {}, {}, {}}) {}

namespace {

std::vector<std::string> environment_for(const Launch& launch) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool dropped = false;
    for (const std::string& gone : launch.unset) dropped = dropped || gone == name;
    for (const std::string& set : launch.env) dropped = dropped || set.substr(0, set.find('=')) == name;
    if (!dropped) env.push_back(text);
  }
  env.insert(env.end(), launch.env.begin(), launch.env.end());
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> all;
  for (std::string& text : texts) all.push_back(&text[0]);
  all.push_back(nullptr);
  return all;
}

}  // namespace

BurnerProcess::BurnerProcess(const std::vector<std::string>& args, const Launch& launch) {
  // Everything the child needs is made before the fork: another thread of the
  // test may hold the allocator's lock at that moment.
  std::vector<std::string> argv_texts{launch.program.empty() ? burner_program() : launch.program};
  argv_texts.insert(argv_texts.end(), args.begin(), args.end());
  std::vector<std::string> env_texts = environment_for(launch);
  std::vector<char*> argv = pointers(argv_texts), envp = pointers(env_texts);
  const int stderr_fd = launch.stderr_fd, stdout_fd = launch.stdout_fd;
  int out[2], err[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0) return;
  if (stderr_fd < 0 && pipe2(err, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    // As from a terminal: the stop signals at their default, none blocked,
    // whatever the test runner (a shell's background job ignores SIGINT and
    // SIGQUIT) handed down. Only async-signal-safe calls after the fork.
    for (int stop : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) signal(stop, SIG_DFL);
    for (int stop : launch.ignored) signal(stop, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(stdout_fd >= 0 ? stdout_fd : out[1], STDOUT_FILENO);
    dup2(stderr_fd >= 0 ? stderr_fd : err[1], STDERR_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  out_ = out[0];
  if (stdout_fd >= 0) {
    close(out_);
    out_ = -1;
  }
  if (err[1] >= 0) {
    close(err[1]);
    err_ = err[0];
  }
}

BurnerProcess::~BurnerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

Finished BurnerProcess::finish(int timeout_ms) {
  Finished result;
  tv::Deadline deadline(timeout_ms);
  std::string* targets[2] = {&result.out, &result.err};
  int* fds[2] = {&out_, &err_};
  while ((out_ >= 0 || err_ >= 0) && !deadline.expired()) {
    pollfd polls[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(polls, 2, int(deadline.remaining_ms()) + 1) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (*fds[i] < 0 || polls[i].revents == 0) continue;
      char buffer[4096];
      ssize_t got = read(*fds[i], buffer, sizeof buffer);
      if (got > 0) {
        targets[i]->append(buffer, size_t(got));
      } else {
        close(*fds[i]);
        *fds[i] = -1;
      }
    }
  }
  if (out_ >= 0 || err_ >= 0) {
    result.timed_out = true;
    kill(pid_, SIGKILL);
  }
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

Finished run_burner(const std::vector<std::string>& args, int timeout_ms) {
  return BurnerProcess(args).finish(timeout_ms);
}

Finished run_burner(const std::vector<std::string>& args, const Launch& launch, int timeout_ms) {
  return BurnerProcess(args, launch).finish(timeout_ms);
}

Finished validate_with_schemas(const std::vector<SchemaCheck>& checks) {
  std::vector<std::string> args = {"-c", R"(import json, sys, jsonschema
bad = 0
for schema_path, instance_path in zip(sys.argv[1::2], sys.argv[2::2]):
    schema = json.load(open(schema_path))
    validator = jsonschema.validators.validator_for(schema)
    validator.check_schema(schema)
    checker = jsonschema.FormatChecker()
    for e in validator(schema, format_checker=checker).iter_errors(json.load(open(instance_path))):
        print(instance_path, list(e.absolute_path), e.message)
        bad = 1
sys.exit(bad))"};
  for (const SchemaCheck& check : checks) args.insert(args.end(), {check.schema, check.instance});
  Launch python;
  python.program = "/usr/bin/python3";
  return run_burner(args, python, 30000);
}

}  // namespace clitest
