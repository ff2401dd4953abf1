// Why a port did not open: the causes start-up does not meet with the
// simulator (start-up's own test covers a missing line, a file, a busy line).
#include <gtest/gtest.h>

#include <string>

#include "link/port_problem.h"
#include "support/temp_dir.h"

namespace {

TEST(PortProblem, FoldersAndDevicesThatAreNoTerminalAreNotSerialLines) {
  testsupport::TempDir dir("port-problem");
  EXPECT_EQ(tv::diagnose_port(dir.path(), 1), tv::PortProblem::NotASerialLine);
  EXPECT_EQ(tv::diagnose_port("/dev/null", 2), tv::PortProblem::NotASerialLine);
  EXPECT_EQ(tv::diagnose_port(dir.file("com3"), 0), tv::PortProblem::None) << "it opened";
  EXPECT_NE(std::string(tv::port_problem_english(tv::PortProblem::PermissionDenied)).find("dialout"),
            std::string::npos);
}

}  // namespace
