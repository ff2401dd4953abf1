// Why a port did not open, as the window will say it.
#include <gtest/gtest.h>

#include "link/port_problem.h"
#include "link/ports.h"
#include "support/pty_peer.h"
#include "support/temp_dir.h"

namespace {

TEST(PortProblem, NamesTheCauseOfAFailedOpen) {
  testsupport::TempDir dir("port-problem");
  EXPECT_EQ(tv::diagnose_port(dir.file("com3"), 1), tv::PortProblem::NoSuchDevice);
  ASSERT_TRUE(testsupport::write_file(dir.file("file"), "x"));
  EXPECT_EQ(tv::diagnose_port(dir.file("file"), 2), tv::PortProblem::NotASerialLine);
  EXPECT_EQ(tv::diagnose_port(dir.path(), 1), tv::PortProblem::NotASerialLine);
  EXPECT_EQ(tv::diagnose_port("/dev/null", 2), tv::PortProblem::NotASerialLine) << "a device, but no terminal";

  // A terminal held by someone else, and the same once it is free.
  testsupport::PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  tv::SerialPort holder;
  ASSERT_EQ(holder.open_device(peer.slave_path()), 0);
  tv::SerialPort second;
  const int result = second.open_device(peer.slave_path()) == 0 ? 0 : 1;
  EXPECT_EQ(result, 1);
  EXPECT_EQ(tv::diagnose_port(peer.slave_path(), result), tv::PortProblem::Busy);
  EXPECT_EQ(tv::diagnose_port(peer.slave_path(), 0), tv::PortProblem::None);

  for (tv::PortProblem problem : {tv::PortProblem::NoSuchDevice, tv::PortProblem::PermissionDenied,
                                  tv::PortProblem::Busy, tv::PortProblem::NotASerialLine,
                                  tv::PortProblem::SetupFailed}) {
    EXPECT_STRNE(tv::port_problem_key(problem), "");
    EXPECT_STRNE(tv::port_problem_english(problem), "");
  }
  EXPECT_NE(std::string(tv::port_problem_english(tv::PortProblem::PermissionDenied)).find("dialout"),
            std::string::npos);
}

}  // namespace
