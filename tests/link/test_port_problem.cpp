// Why a port did not open: the causes start-up does not meet with the
// simulator (start-up's own test covers a missing line, a file, a busy line).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "link/port_problem.h"
#include "support/pty_peer.h"
#include "support/temp_dir.h"

namespace {

TEST(PortProblem, FoldersAndDevicesThatAreNoTerminalAreNotSerialLines) {
  testsupport::TempDir dir("port-problem");
  EXPECT_EQ(tv::diagnose_port(dir.path(), tv::kDeviceNotOpened, ENOTTY), tv::PortProblem::NotASerialLine);
  EXPECT_EQ(tv::diagnose_port("/dev/null", tv::kLineStateUnread, ENOTTY), tv::PortProblem::NotASerialLine);
  EXPECT_EQ(tv::diagnose_port(dir.file("com3"), tv::kOpened, 0), tv::PortProblem::None) << "it opened";
  EXPECT_NE(std::string(tv::port_problem_english(tv::PortProblem::PermissionDenied)).find("dialout"),
            std::string::npos);
}

// A terminal that is there and may be opened: busy only when the system said
// EBUSY; any other refusal is named with the system's own words.
TEST(PortProblem, ATerminalIsBusyOnlyForEbusyAndOtherwiseSaysWhatTheSystemSaid) {
  testsupport::PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  struct Case {
    tv::OpenResult open_result;
    int error_number;
    tv::PortProblem problem;
    std::string detail;
  };
  const Case cases[] = {
      {tv::kDeviceNotOpened, EBUSY, tv::PortProblem::Busy, ""},
      {tv::kDeviceNotOpened, EIO, tv::PortProblem::OpenFailed, "Input/output error"},
      {tv::kLineStateRefused, EINVAL, tv::PortProblem::SetupFailed, "Invalid argument"},
      {tv::kLineStateUnread, EIO, tv::PortProblem::SetupFailed, "Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.detail);
    const tv::PortProblem problem = tv::diagnose_port(peer.slave_path(), c.open_result, c.error_number);
    EXPECT_EQ(problem, c.problem);
    EXPECT_EQ(tv::port_problem_detail(problem, c.error_number), c.detail);
  }
}

// A busy port names who holds it, from the processes' open files: only
// processes that hold that very device, never this program itself, and a
// link to the device counts as the device.
TEST(PortProblem, ABusyPortNamesTheProcessesThatHoldIt) {
  testsupport::TempDir dir("port-holders");
  namespace fs = std::filesystem;
  const std::string device = dir.file("ttyUSB0"), other = dir.file("ttyUSB1");
  ASSERT_TRUE(testsupport::write_file(device, "") && testsupport::write_file(other, ""));
  fs::create_symlink(device, dir.file("com3"));
  struct Holder {
    std::string pid, name, target;
  };
  const std::string self = std::to_string(getpid());
  const Holder holders[] = {
      {"4242", "picocom", device}, {"77", "minicom", other}, {self, "tvbox-burn", device},
      {"99", "", device},          {"net", "x", device},
  };
  for (const Holder& h : holders) {
    fs::create_directories(dir.file("proc/" + h.pid + "/fd"));
    if (!h.name.empty())
      ASSERT_TRUE(testsupport::write_file(dir.file("proc/" + h.pid + "/comm"), h.name + "\n"));
    fs::create_symlink(h.target, dir.file("proc/" + h.pid + "/fd/3"));
  }
  const std::string named = tv::port_holders(dir.file("com3"), dir.file("proc"));
  EXPECT_NE(named.find("picocom (pid 4242)"), std::string::npos) << named;
  EXPECT_NE(named.find("a process (pid 99)"), std::string::npos) << named;
  EXPECT_EQ(named.find("minicom"), std::string::npos) << named;
  EXPECT_EQ(named.find("tvbox-burn"), std::string::npos) << named;
  EXPECT_EQ(named.find("net"), std::string::npos) << named;
  EXPECT_EQ(tv::port_holders(other + "-gone", dir.file("proc")), "");

  // A pseudo-terminal: the process on its master side (a simulator) is its
  // far end, not a holder; the master of another terminal does not count.
  fs::create_directories(dir.file("dev/pts"));
  const std::string pty = dir.file("dev/pts/7");
  ASSERT_TRUE(testsupport::write_file(pty, "") && testsupport::write_file(dir.file("dev/ptmx"), ""));
  struct PtyHolder {
    std::string pid, name, tty_index;
  };
  for (const PtyHolder& h : {PtyHolder{"500", "tvbox-sim", "7"}, PtyHolder{"600", "screen", "8"}}) {
    fs::create_directories(dir.file("proc/" + h.pid + "/fdinfo"));
    fs::create_directories(dir.file("proc/" + h.pid + "/fd"));
    ASSERT_TRUE(testsupport::write_file(dir.file("proc/" + h.pid + "/comm"), h.name + "\n"));
    fs::create_symlink(dir.file("dev/ptmx"), dir.file("proc/" + h.pid + "/fd/3"));
    ASSERT_TRUE(testsupport::write_file(dir.file("proc/" + h.pid + "/fdinfo/3"),
                                        "pos:\t0\nflags:\t02\ntty-index:\t" + h.tty_index + "\n"));
    fs::create_symlink(pty, dir.file("proc/" + h.pid + "/fd/4"));
  }
  EXPECT_EQ(tv::port_holders(pty, dir.file("proc")), "screen (pid 600)");
}

}  // namespace
