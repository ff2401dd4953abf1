// tvbox-reg run as a user runs it against the box simulator: registers that
// read back what was written, a script that stops at its failing line, a
// script that does not parse and sends nothing, the watch of what the box
// sends, a held port, and a stop by ctrl-C.
#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "burner_process.h"
#include "cli/burn_display.h"
#include "link/ports.h"
#include "link/serial_port.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using clitest::Finished;
using Bytes = std::vector<uint8_t>;

constexpr int kDeadlineMs = 30000;

const std::string& reg_program() {
  static const std::string path = std::string(TVBOX_BINARY_DIR) + "/src/tvbox-reg";
  return path;
}

clitest::Launch reg_launch() {
  clitest::Launch launch;
  launch.program = reg_program();
  launch.unset = {"TVBOX_PORTS"};
  return launch;
}

Finished run_reg(const std::vector<std::string>& args, int timeout_ms = kDeadlineMs) {
  return clitest::run_burner(args, reg_launch(), timeout_ms);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Whether tvbox-reg, as process `pid`, has the device behind `path` open:
// it has opened its port and anything sent from now on is its to read.
// Before its exec the child still holds the test's own descriptors.
bool holds_device(pid_t pid, const std::string& path) {
  std::error_code error;
  const std::string process = "/proc/" + std::to_string(pid);
  if (std::filesystem::read_symlink(process + "/exe", error) !=
      std::filesystem::canonical(reg_program(), error))
    return false;
  const auto device = std::filesystem::canonical(path, error);
  const std::string fds = process + "/fd";
  for (std::filesystem::directory_iterator it(fds, error), end; !error && it != end; it.increment(error)) {
    std::error_code link_error;
    if (std::filesystem::read_symlink(it->path(), link_error) == device) return true;
  }
  return false;
}

class RegCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(reg_program().c_str(), X_OK) != 0) GTEST_SKIP() << "tvbox-reg is not built";
    tv::set_trace_enabled(false);
    std::string error;
    ASSERT_TRUE(box_.start(&error)) << error;
  }

  std::string script(const std::string& text) {
    const std::string path = scratch_.file("script.txt");
    EXPECT_TRUE(testsupport::write_file(path, text));
    return path;
  }

  testsupport::TempDir scratch_{"reg"};
  testsupport::SimulatedBox box_{"reg-box"};
  boxsim::BoxSimulator& sim = box_.sim();
};

// One table, one box: each write is read back, on the I2C bus and from the
// OSD processor, and the default port is the window's "com3" of the box.
TEST_F(RegCommandTest, WrittenRegistersReadBackWhatWasWritten) {
  struct Case {
    std::vector<std::string> write, read;
    const char* shown;
  };
  const Case cases[] = {
      {{"write", "fe", "07", "3a"}, {"read", "fe", "07"}, "fe 07 = 3a"},
      {{"write", "a0", "07", "c5"}, {"read", "a0", "07"}, "a0 07 = c5"},
      {{"write", "osd", "0123", "5a"}, {"read", "osd", "123"}, "osd 0123 = 5a"},
      {{"write", "osd", "1234", "77", "b4", "10"},
       {"read", "osd", "1234", "b4", "10"},
       "osd b4 10 1234 = 77"},
  };
  for (const Case& c : cases) {
    Finished write = run_reg(c.write);
    EXPECT_EQ(write.exit_code, 0) << write.err;
    Finished read = run_reg(c.read);
    EXPECT_EQ(read.exit_code, 0) << read.err;
    EXPECT_EQ(read.out, std::string(c.shown) + "\n");
  }
  // The other device's register 07 and another OSD slave were never written.
  Finished other = run_reg({"read", "osd", "1234"});
  EXPECT_EQ(other.out, "osd 1234 = 00\n");
  EXPECT_EQ(sim.memories().i2c[0xFE][0x07], 0x3A);

  // In JSON: the four common fields, the packet sent and the box's answer.
  Finished json = run_reg({"--json", "read", "fe", "07"});
  ASSERT_EQ(json.exit_code, 0) << json.err;
  const auto object = nlohmann::json::parse(json.out);
  EXPECT_EQ(object["program"], "tvbox-reg");
  EXPECT_EQ(object["mode"], "read");
  EXPECT_EQ(object["format"], tv::kJsonFormatVersion) << "the format of tvbox-burn's JSON";
  EXPECT_TRUE(object["version"].is_string());
  EXPECT_EQ(object["sent"], nlohmann::json::array({"9c 63 00 00 72 07 00 fe 00 00 00 0d"}));
  EXPECT_EQ(object["answer"], "9c 63 00 00 72 07 00 fe 00 00 00 0d 3a");
  EXPECT_EQ(object["value"], "3a");
  EXPECT_EQ(object["ok"], true);
}

// A script runs its lines in order; the box falls silent after the second
// packet, so the line after it fails and names itself, and the rest is not
// sent (unless --keep-going). A line that does not parse stops the whole
// script before its first packet. In JSON each line's object matches the
// shipped schema. The first script was saved by a Windows
// editor: a byte-order mark and CR LF line ends.
TEST_F(RegCommandTest, AScriptStopsAtItsFailingLineAndSendsNothingWhenALineDoesNotParse) {
  const std::string path = script(
      "\xEF\xBB\xBF# set up the scaler's device\r\n"
      "write fe 01 11\r\n"
      "\r\n"
      "read fe 01   # the value back\r\n"
      "write fe 02 22\r\n"
      "write fe 03 33\r\n");
  boxsim::Faults silent;
  silent.silent_after = 2;
  sim.set_faults(silent);
  Finished run = run_reg({"--script", path});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_EQ(run.out, "fe 01 = 11\nfe 01 = 11\n");
  EXPECT_NE(run.err.find(path + ":5: write fe 02 22: no answer from the box"), std::string::npos) << run.err;
  EXPECT_EQ(sim.received().size(), 3u * 12u) << "nothing after the failing line";

  // Now every packet is refused once: --keep-going still runs every line.
  sim.clear_received();
  boxsim::Faults refusing;
  refusing.refuse_first = 1;
  sim.set_faults(refusing);
  Finished going = run_reg({"--keep-going", "--json", "--script", path});
  EXPECT_EQ(going.exit_code, 1);
  const std::vector<std::string> objects = lines_of(going.out);
  ASSERT_EQ(objects.size(), 4u) << going.out;
  EXPECT_EQ(nlohmann::json::parse(objects[3])["line"], 6);
  EXPECT_EQ(nlohmann::json::parse(objects[3])["ok"], false);
  EXPECT_NE(going.err.find(path + ":2: write fe 01 11: the box did not echo the packet"), std::string::npos)
      << going.err;
  EXPECT_EQ(sim.received().size(), 4u * 12u);
  // Every object matches the schema the package ships: these four (two of
  // them failed), a usage refusal and a port that does not open.
  std::vector<std::string> objects_to_check = objects;
  for (const std::vector<std::string>& refused :
       {std::vector<std::string>{"--json", "reed", "fe"},
        {"--json", "-p", scratch_.file("none"), "read", "fe", "07"}})
    objects_to_check.push_back(run_reg(refused).out);
  std::vector<clitest::SchemaCheck> checks;
  for (const std::string& object : objects_to_check) {
    checks.push_back({std::string(TVBOX_SOURCE_DIR) + "/doc/schemas/tvbox-reg.schema.json",
                      scratch_.file("object-" + std::to_string(checks.size()) + ".json")});
    ASSERT_TRUE(testsupport::write_file(checks.back().instance, object));
  }
  Finished validated = clitest::validate_with_schemas(checks);
  EXPECT_EQ(validated.exit_code, 0) << validated.out << validated.err;

  sim.clear_received();
  const std::string broken =
      script("write fe 01 11\n# fine so far\nread fe 01\nreed fe 01\nwrite fe 02 22\n");
  Finished refused = run_reg({"--script", broken});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find(broken + ":4: unknown command \"reed\""), std::string::npos) << refused.err;
  EXPECT_TRUE(sim.received().empty());

  // The line vanishes at the second packet (an adapter pulled out): that
  // command says so and ends the script.
  testsupport::SimulatedBox fresh{"reg-pulled"};  // its count of packets starts at none
  std::string error;
  ASSERT_TRUE(fresh.start(&error)) << error;
  boxsim::Faults vanishing;
  vanishing.vanish_after = 2;
  fresh.sim().set_faults(vanishing);
  const std::string pulled = script("write fe 01 11\nread fe 01\nwrite fe 02 22\n");
  Finished cut = run_reg({"-p", fresh.sim().programming_path(), "--script", pulled});
  EXPECT_EQ(cut.exit_code, 1);
  EXPECT_NE(cut.err.find(pulled + ":2: read fe 01: the line to the box was lost"), std::string::npos)
      << cut.err;
}

// Usage errors of every kind exit 2 and touch no box.
TEST_F(RegCommandTest, UsageErrorsExitTwoAndSendNothing) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"--frob", "read", "fe", "07"},
                                             {"read", "fe"},
                                             {"write", "osd", "10000", "1"},
                                             {"scaler", "720", "720", "576", "0", "10"},
                                             {"--script", scratch_.file("no-such-script")},
                                             {"--script", scratch_.file("x"), "read", "fe", "07"},
                                             {"-p"}}) {
    Finished run = run_reg(args);
    EXPECT_EQ(run.exit_code, 2) << (args.empty() ? "" : args[0]) << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  Finished help = run_reg({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const std::string& line : lines_of(help.out)) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_TRUE(sim.received().empty());
}

// The watch shows each byte the box sends as the console does, after its
// time of day, for as long as it was asked to. Started under nohup (the
// hang-up left ignored), it outlives the terminal's hang-up.
TEST_F(RegCommandTest, WatchShowsEveryByteTheBoxSendsAndOutlivesAHangUpNohupIgnores) {
  clitest::Launch nohup = reg_launch();
  nohup.ignored = {SIGHUP};
  clitest::BurnerProcess watch({"watch", "2"}, nohup);
  ASSERT_TRUE(testsupport::wait_for([&] { return holds_device(watch.pid(), sim.programming_path()); }, 5000));
  kill(watch.pid(), SIGHUP);
  sim.send_raw({0x41, 0x0A, 0xC0});
  Finished run = watch.finish(kDeadlineMs);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const std::vector<std::string> lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  const char* const shown[3] = {"41 065 <A> 01000001", "0a 010 <.> 00001010", "c0 192 <\u0410> 11000000"};
  for (int i = 0; i < 3; ++i) {
    ASSERT_GE(lines[i].size(), 13u);
    EXPECT_EQ(lines[i][2], ':') << "hh:mm:ss.mmm first: " << lines[i];
    EXPECT_EQ(lines[i].substr(13), shown[i]);
  }
}

// A port another program holds is refused with the reason; nothing is sent.
// A watch without an end stops at ctrl-C with 128 + SIGINT, and at a lost line
// with 1.
TEST_F(RegCommandTest, AHeldPortIsRefusedWithItsReasonAndCtrlCEndsAWatch) {
  {
    tv::SerialPort held;
    ASSERT_EQ(tv::open_programming_line(held, sim.programming_path()), tv::kOpened);
    Finished run = run_reg({"-p", sim.programming_path(), "write", "fe", "07", "3a"});
    EXPECT_EQ(run.exit_code, 1);
    // This test holds the simulator's side of the line too, so no holder is
    // named: tvbox-burn's test names one.
    EXPECT_NE(run.err.find(": busy: another program holds it; nothing was sent"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_TRUE(sim.received().empty());

  clitest::BurnerProcess watch({"watch"}, reg_launch());
  ASSERT_TRUE(testsupport::wait_for([&] { return holds_device(watch.pid(), sim.programming_path()); }, 5000));
  kill(watch.pid(), SIGINT);
  Finished stopped = watch.finish(kDeadlineMs);
  EXPECT_EQ(stopped.exit_code, 128 + SIGINT) << stopped.err;

  // The box's line vanishes under a watch (a cable pulled, an adapter gone).
  clitest::BurnerProcess cut({"watch", "60"}, reg_launch());
  ASSERT_TRUE(testsupport::wait_for([&] { return holds_device(cut.pid(), sim.programming_path()); }, 5000));
  sim.stop();
  Finished lost = cut.finish(kDeadlineMs);
  EXPECT_EQ(lost.exit_code, 1) << lost.err;
  EXPECT_NE(lost.err.find("watch 60: the line to the box was lost"), std::string::npos) << lost.err;
}

}  // namespace
