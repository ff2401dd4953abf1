// Why a port did not open: the causes start-up does not meet with the
// simulator (start-up's own test covers a missing line, a file, a busy line).
#include <gtest/gtest.h>

#include <cerrno>
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

}  // namespace
