// The tvbox-sim program as the demos and benchmarks run it: its start-up
// lines, its images on exit and its answer to bad options.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

const std::string kProgram = std::string(TVBOX_BINARY_DIR) + "/tools/tvbox-sim";

struct Child {
  pid_t pid = -1;
  int out = -1;
};

Child spawn(const std::vector<std::string>& args) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_fds[1], 1);
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 2);
    std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(kProgram.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  return {pid, pipe_fds[0]};
}

// Reads stdout until `lines` lines came or the time-out passed.
std::vector<std::string> read_lines(int fd, size_t lines, int timeout_ms) {
  std::vector<std::string> got;
  std::string partial;
  while (got.size() < lines) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) break;
    char c;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') {
      got.push_back(partial);
      partial.clear();
    } else {
      partial += c;
    }
  }
  return got;
}

int exit_code(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(TvboxSimProgram, ServesAndWritesImagesOnExit) {
  if (access(kProgram.c_str(), X_OK) != 0) GTEST_SKIP() << "tvbox-sim is not built";
  testsupport::TempDir scratch("boxsim-prog");
  const std::string& dir = scratch.path();
  Child child = spawn({"--port-dir", dir + "/ports", "--images", dir + "/img", "--prog", "com4"});
  std::vector<std::string> lines = read_lines(child.out, 3, 5000);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], dir + "/ports/com4");
  EXPECT_EQ(lines[1], dir + "/ports/com5");
  EXPECT_EQ(lines[2], "ready");

  int fd = open(lines[0].c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios tio;
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  const unsigned char osd_wrt[12] = {0x99, 0x6F, 0, 0, 'w', 0x00, 0x10, 0xC3, 0x33, 0, 0, 0x0D};
  ASSERT_EQ(write(fd, osd_wrt, 12), 12);
  unsigned char echo[12];
  size_t got = 0;
  while (got < 12) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 3000) <= 0) break;
    ssize_t n = read(fd, echo + got, 12 - got);
    if (n <= 0) break;
    got += size_t(n);
  }
  ASSERT_EQ(got, 12u);
  close(fd);

  kill(child.pid, SIGTERM);
  EXPECT_EQ(exit_code(child.pid), 0);
  close(child.out);
  FILE* f = std::fopen((dir + "/img/osd.bin").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 0x10, SEEK_SET);
  EXPECT_EQ(std::fgetc(f), 0xC3);
  std::fclose(f);
  EXPECT_NE(access((dir + "/ports/com4").c_str(), F_OK), 0) << "links are removed on exit";
}

TEST(TvboxSimProgram, BadOptionsExitWithTwo) {
  if (access(kProgram.c_str(), X_OK) != 0) GTEST_SKIP() << "tvbox-sim is not built";
  for (std::vector<std::string> args : {std::vector<std::string>{"--no-such"},
                                        {"--port-dir", "/tmp/x", "--delay-ms", "-3"},
                                        {"--port-dir", "/tmp/x", "--reply", "5A,XYZ"},
                                        {"--drop-every", "2"}}) {
    Child child = spawn(args);
    EXPECT_EQ(exit_code(child.pid), 2) << args[0];
    close(child.out);
  }
  Child help = spawn({"--help"});
  EXPECT_FALSE(read_lines(help.out, 1, 3000).empty());
  EXPECT_EQ(exit_code(help.pid), 0);
  close(help.out);
}

}  // namespace
