// tvbox-burn as a user or a script runs it, against simulated boxes: the exit
// status, what it prints, the JSON summary, the saved log file, and what each
// box holds afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "boxsim/box_sim.h"
#include "burn/sha256.h"
#include "burner_process.h"
#include "gen/chipset_gen.h"
#include "json_reader.h"
#include "support/box_images.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using clitest::BurnerProcess;
using clitest::Finished;
using clitest::Json;

constexpr int kBurnDeadlineMs = 180000;
const char kFourZLine[] = "ZZZZ       \r";

int count_of(const std::vector<uint8_t>& bytes, const std::string& needle) {
  std::string text(bytes.begin(), bytes.end());
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

Json parse_json(const std::string& text) {
  Json json;
  EXPECT_TRUE(clitest::JsonReader(text).parse(&json)) << "not one JSON value:\n" << text;
  return json;
}

class BurnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(clitest::burner_program().c_str(), X_OK) != 0) GTEST_SKIP() << "tvbox-burn is not built";
    start_box(box_);
    generated_ = chipsetgen::generate(testsupport::small_chipset_options());
    chipset_ = scratch_.file("firmware.hv");
    std::string error;
    ASSERT_TRUE(chipsetgen::write_chipset(chipset_, generated_.text, false, &error)) << error;
  }

  static void start_box(testsupport::SimulatedBox& box) {
    std::string error;
    ASSERT_TRUE(box.start(&error)) << error;
  }

  // The arguments of a burn into `ports`, its logs in the scratch folder.
  std::vector<std::string> burn_args(const std::vector<std::string>& ports, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--log", logs()};
    for (const std::string& port : ports) {
      args.push_back("-p");
      args.push_back(port);
    }
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(chipset_);
    return args;
  }

  std::string logs() const { return scratch_.file("logs"); }
  std::string port_of(testsupport::SimulatedBox& box) { return box.sim().programming_path(); }

  testsupport::TempDir scratch_{"cli"};
  testsupport::SimulatedBox box_{"cli-box"};
  chipsetgen::Generated generated_;
  std::string chipset_;
};

TEST_F(BurnerTest, OneBoxIsBurnedExactlyAndReportedInJsonAndInItsLogFile) {
  const std::string port = port_of(box_);
  Finished run = clitest::run_burner(burn_args({port}, {"--sysfont", "--json", "--verify"}), kBurnDeadlineMs);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(testsupport::box_holds(box_.sim().memories(), generated_.images));
  EXPECT_NE(run.err.find("Summary:"), std::string::npos) << "with --json the people's output goes to stderr";

  Json summary = parse_json(run.out);
  ASSERT_EQ(summary["boxes"].items.size(), 1u);
  const Json& box = summary["boxes"].items[0];
  EXPECT_EQ(summary["exit_code"].number, 0);
  EXPECT_EQ(summary["chipset"]["sha256"].text, tv::sha256_hex(generated_.text));
  EXPECT_EQ(summary["chipset"]["size"].number, double(generated_.text.size()));
  EXPECT_EQ(box["port"].text, port);
  EXPECT_TRUE(box["ok"].boolean);
  EXPECT_EQ(box["first_failure"].kind, Json::Kind::Null);
  std::vector<std::string> stages;
  for (const Json& stage : box["stages_done"].items) stages.push_back(stage.text);
  EXPECT_EQ(stages, (std::vector<std::string>{"PIC", "FLASH", "OSD", "RusFont", "SysFont"}));
  EXPECT_GT(box["bytes"].number, 1000);

  // The log file names the file, its digest, the port and the settings, and
  // holds every burn line with a timestamp and its colour as a word.
  ASSERT_EQ(box["log"].kind, Json::Kind::String);
  const std::string log = read_file(box["log"].text);
  EXPECT_EQ(box["log"].text.rfind(logs() + "/", 0), 0u) << box["log"].text;
  for (const std::string& wanted :
       {"Chipset:  " + chipset_, "SHA-256:  " + tv::sha256_hex(generated_.text),
        "Size:     " + std::to_string(generated_.text.size()) + " bytes", "Port:     " + port,
        std::string("Setting:  flash_delay = 3 s"), std::string("ok      Burning PIC..."),
        std::string("Setting:  sections = PIC,Flash,OSD,OSD RusFont,OSD SysFont"),
        std::string("Setting:  verify = yes"), std::string("ok      FLASH verified: 4096 bytes"),
        std::string("ok      OSD SysFont Burned OK!"), std::string("Failures: none"), std::string("Outcome:  OK")})
    EXPECT_NE(log.find(wanted), std::string::npos) << "missing \"" << wanted << "\" in\n" << log;
}

TEST_F(BurnerTest, TwoBoxesAtOnceAreBothBurnedExactlyFromOneLoad) {
  testsupport::SimulatedBox second{"cli-box2"};
  start_box(second);
  Finished run = clitest::run_burner(burn_args({port_of(box_), port_of(second)}, {"--sysfont"}), kBurnDeadlineMs);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(testsupport::box_holds(box_.sim().memories(), generated_.images));
  EXPECT_TRUE(testsupport::box_holds(second.sim().memories(), generated_.images));
  // Not a terminal: plain lines per stage, then one summary line per port.
  EXPECT_NE(run.out.find(port_of(second) + ": FLASH done"), std::string::npos) << run.out;
  const std::string summary = run.out.substr(run.out.find("Summary:"));
  EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 1 + 2 + 2) << summary;  // title, boxes, logs
}

// Three boxes with --verify: a good one, one that falls silent in the Flash
// stage, one that stores a flash byte wrong while echoing it correctly.
TEST_F(BurnerTest, ABoxThatFallsSilentOrFailsVerifyFailsAloneAndTheExitIsOne) {
  testsupport::SimulatedBox silent{"cli-silent"}, wrong{"cli-wrong"};
  start_box(silent);
  start_box(wrong);
  boxsim::Faults faults;
  faults.silent_after_flash_writes = 10;
  silent.sim().set_faults(faults);
  faults = boxsim::Faults();
  faults.wrong_flash_byte = 0x0123;
  wrong.sim().set_faults(faults);
  Finished run = clitest::run_burner(
      burn_args({port_of(box_), port_of(silent), port_of(wrong)}, {"--json", "--verify"}), kBurnDeadlineMs);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 1) << run.err;
  boxsim::Memories good = box_.sim().memories();
  EXPECT_EQ(good.pic, generated_.images.pic);
  EXPECT_EQ(good.flash, generated_.images.flash);
  EXPECT_EQ(good.osd, generated_.images.osd);
  Json summary = parse_json(run.out);
  ASSERT_EQ(summary["boxes"].items.size(), 3u);
  EXPECT_TRUE(summary["boxes"].items[0]["ok"].boolean);
  EXPECT_EQ(summary["boxes"].items[1]["result"].text, "FAILED");
  EXPECT_NE(summary["boxes"].items[1]["first_failure"].text.find("stopped answering"), std::string::npos)
      << summary["boxes"].items[1]["first_failure"].text;
  EXPECT_EQ(summary["boxes"].items[2]["result"].text, "FAILED");
  EXPECT_NE(
      summary["boxes"].items[2]["first_failure"].text.find("verify failed: 1 byte differs, first at 0x0123"),
      std::string::npos)
      << summary["boxes"].items[2]["first_failure"].text;
  EXPECT_EQ(summary["exit_code"].number, 1);
}

TEST_F(BurnerTest, AFileThatDoesNotLoadCleanlyExitsTwoAndSendsNothing) {
  testsupport::SimulatedBox second{"cli-box2"};
  start_box(second);
  // One record's checksum is wrong; the rest of the file is good.
  std::string text = generated_.text;
  size_t record = text.find("\r\n:10", text.find("***FLASH>"));
  ASSERT_NE(record, std::string::npos);
  size_t checksum = text.find("\r\n", record + 2) - 1;
  text[checksum] = text[checksum] == '0' ? '1' : '0';
  ASSERT_TRUE(testsupport::write_file(chipset_, text));
  const std::vector<std::string> ports = {port_of(box_), port_of(second)};

  // A damaged gzip file is refused as damaged, whatever its garbled lines
  // look like, at a byte counted in the compressed file.
  const std::string damaged = scratch_.file("damaged.hv.gz");
  std::string error;
  ASSERT_TRUE(chipsetgen::write_chipset(damaged, generated_.text, true, &error)) << error;
  const std::string packed = read_file(damaged);
  ASSERT_TRUE(testsupport::write_file(damaged, packed.substr(0, packed.size() / 2)));

  for (const std::vector<std::string>& args : {burn_args(ports),
                                               burn_args(ports, {"--sections", "pic,voodoo"}),
                                               burn_args(ports, {"--flash-delay", "2"}),
                                               {"-p", port_of(box_), scratch_.file("no-such.hv")},
                                               {"-p", port_of(box_), damaged}}) {
    Finished run = clitest::run_burner(args, 20000);
    EXPECT_EQ(run.exit_code, 2) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << "one line on stderr: " << run.err;
    EXPECT_EQ(run.err.find(".;"), std::string::npos) << run.err;
    if (args == burn_args(ports)) {
      EXPECT_NE(run.err.find(": 1 record with a bad checksum, in line "), std::string::npos) << run.err;
    }
    if (args.back() == damaged) {
      EXPECT_NE(run.err.find("damaged at byte "), std::string::npos) << run.err;
      EXPECT_NE(run.err.find(" of the compressed file ("), std::string::npos) << run.err;
    }
  }
  EXPECT_TRUE(box_.sim().received().empty());
  EXPECT_TRUE(second.sim().received().empty());
  Finished help = clitest::run_burner({"--help"}, 5000);
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("usage: tvbox-burn", 0), 0u) << help.out;
  Finished listing = clitest::run_burner({"--list-ports"}, 5000);
  EXPECT_EQ(listing.exit_code, 0);
  std::istringstream listed(listing.out);
  for (std::string line; std::getline(listed, line);) EXPECT_EQ(line.rfind("/dev/", 0), 0u) << line;
}

// On a terminal: the port's line is redrawn in place while it burns. Then a
// ctrl-C ends the burn at a packet, the four-Z line still goes out, and the
// summary says what was finished.
TEST_F(BurnerTest, OnATerminalTheLineUpdatesInPlaceAndCtrlCExits130WithTheFourZLineAndASummary) {
  int master = -1, slave = -1;
  winsize size{};
  size.ws_col = 120;
  size.ws_row = 40;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  BurnerProcess burner(burn_args({port_of(box_)}), -1, slave);
  close(slave);
  std::string screen;  // read all along, so the terminal never fills up
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;) screen.append(buffer, size_t(got));
  });
  // Into the Flash stage: the PIC records have all been echoed.
  bool in_flash = testsupport::wait_for([&] { return box_.sim().stats().sector_erases > 0; }, 60000);
  kill(burner.pid(), SIGINT);
  Finished run = burner.finish(30000);
  reader.join();
  close(master);
  ASSERT_TRUE(in_flash);
  ASSERT_FALSE(run.timed_out) << "ctrl-C must end the program on its own";
  EXPECT_EQ(run.exit_code, 130) << run.err;
  // The hand-shake sent one; the burn's end the other.
  EXPECT_TRUE(testsupport::wait_for([&] { return count_of(box_.sim().received(), kFourZLine) == 2; }, 5000));
  EXPECT_NE(screen.find("\x1b[1A\r\x1b[2K" + port_of(box_)), std::string::npos) << "no line redrawn in place";
  EXPECT_NE(screen.find("FLASH "), std::string::npos) << screen;
  const size_t summary = screen.find("Summary:");
  ASSERT_NE(summary, std::string::npos) << screen;
  EXPECT_NE(screen.find("CANCELLED", summary), std::string::npos) << screen;
  EXPECT_EQ(screen.find("FLASH FAILED"), std::string::npos) << "a cancel is no failure: " << screen;
  std::string saved;
  for (const auto& entry : std::filesystem::directory_iterator(logs()))
    saved += read_file(entry.path().string());
  EXPECT_NE(saved.find("cancelled in FLASH"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("stage FLASH failed"), std::string::npos) << saved;

  // Not on a terminal every stage's end is a line of its own: the stage cut
  // short says so, it does not fail.
  const uint64_t erases = box_.sim().stats().sector_erases;
  BurnerProcess plain(burn_args({port_of(box_)}));
  ASSERT_TRUE(testsupport::wait_for([&] { return box_.sim().stats().sector_erases > erases; }, 60000));
  kill(plain.pid(), SIGINT);
  Finished stopped = plain.finish(30000);
  EXPECT_EQ(stopped.exit_code, 130) << stopped.err;
  EXPECT_NE(stopped.out.find(": FLASH cancelled\n"), std::string::npos) << stopped.out;
  EXPECT_EQ(stopped.out.find("FLASH FAILED"), std::string::npos) << stopped.out;
  EXPECT_NE(screen.find("PIC", summary), std::string::npos) << "the PIC stage was finished: " << screen;
}

// The trace goes to standard error with --trace: neither a reader that has
// gone nor one that never reads may kill or hold the burn.
TEST_F(BurnerTest, ATracePipeClosedOrFullNeitherKillsNorHoldsTheBurn) {
  for (bool reader_gone : {true, false}) {
    int trace_pipe[2];
    ASSERT_EQ(pipe2(trace_pipe, O_CLOEXEC), 0);
    if (reader_gone) {
      close(trace_pipe[0]);
      trace_pipe[0] = -1;
    } else {
      // Filled to the brim before the burn starts, and never read.
      fcntl(trace_pipe[1], F_SETFL, O_NONBLOCK);
      std::vector<char> filler(65536, 'x');
      while (write(trace_pipe[1], filler.data(), filler.size()) > 0) {
      }
      fcntl(trace_pipe[1], F_SETFL, 0);
    }
    box_.sim().clear_received();
    BurnerProcess burner(burn_args({port_of(box_)}, {"--trace", "--sections", "flash"}), trace_pipe[1]);
    close(trace_pipe[1]);
    Finished run = burner.finish(kBurnDeadlineMs);
    if (trace_pipe[0] >= 0) close(trace_pipe[0]);
    EXPECT_FALSE(run.timed_out) << (reader_gone ? "closed" : "full") << " pipe";
    EXPECT_EQ(run.signal, 0) << (reader_gone ? "closed" : "full") << " pipe";
    EXPECT_EQ(run.exit_code, 0) << (reader_gone ? "closed" : "full") << " pipe";
    EXPECT_EQ(box_.sim().memories().flash, generated_.images.flash);
  }
  EXPECT_EQ(box_.sim().stats().pic_records, 0u) << "--sections flash leaves the PIC program alone";
}

}  // namespace
