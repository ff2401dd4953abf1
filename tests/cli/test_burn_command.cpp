// tvbox-burn as a user or a script runs it, against simulated boxes: the exit
// status, what it prints, the JSON summary, the saved log file, and what each
// box holds afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "boxsim/box_sim.h"
#include "burn/burn_log_file.h"
#include "burn/sha256.h"
#include "burner_process.h"
#include "cli/burn_command.h"
#include "cli/burn_display.h"
#include "cli/burn_options.h"
#include "cli/window_settings.h"
#include "gen/chipset_gen.h"
#include "support/box_images.h"
#include "support/fake_sysfs.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using clitest::BurnerProcess;
using clitest::Finished;
using clitest::Launch;
using Json = nlohmann::json;

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

// Parsed by a JSON library, not by a reader of our own that might share the
// writer's mistakes.
Json parse_json(const std::string& text) {
  Json json = Json::parse(text, nullptr, false);
  EXPECT_FALSE(json.is_discarded()) << "not one JSON value:\n" << text;
  return json;
}

// A log folder's files with the burn logs' names, all long past their time.
void fill_with_old_logs(const std::string& dir, int count) {
  std::filesystem::create_directories(dir);
  const std::time_t old = std::time(nullptr) - 400 * 24 * 3600;
  for (int i = 0; i < count; ++i) {
    const std::string path = dir + "/" + tv::burn_log_file_name(old - i * 60, "com3");
    ASSERT_TRUE(testsupport::write_file(path, "old"));
    utimbuf times{old, old};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
  }
}

size_t files_in(const std::string& dir) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) count += entry.is_regular_file() ? 1 : 0;
  return count;
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
  std::vector<std::string> burn_args(const std::vector<std::string>& ports,
                                     std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--log", logs()};
    for (const std::string& port : ports) {
      args.push_back("-p");
      args.push_back(port);
    }
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(chipset_);
    return args;
  }

  // The user's own folders are the scratch folder's: no window settings, no
  // saved logs of the machine's user.
  Launch launch(std::vector<std::string> env = {}) const {
    Launch how;
    how.env = {"HOME=" + scratch_.file("home"), "XDG_STATE_HOME=" + scratch_.file("state")};
    how.env.insert(how.env.end(), env.begin(), env.end());
    how.unset = {"TVBOX_PORTS"};
    return how;
  }
  Finished run(const std::vector<std::string>& args, int timeout_ms = kBurnDeadlineMs) {
    return clitest::run_burner(args, launch(), timeout_ms);
  }

  std::string logs() const { return scratch_.file("logs"); }
  std::string port_of(testsupport::SimulatedBox& box) { return box.sim().programming_path(); }
  // The generated file from one marker up to another (or the end).
  std::string sections_of(const std::string& from, const std::string& to = "") const {
    const size_t begin = from.empty() ? 0 : generated_.text.find(from);
    const size_t end = to.empty() ? std::string::npos : generated_.text.find(to);
    return generated_.text.substr(begin, end == std::string::npos ? end : end - begin);
  }

  testsupport::TempDir scratch_{"cli"};
  testsupport::SimulatedBox box_{"cli-box"};
  chipsetgen::Generated generated_;
  std::string chipset_;
};

// A path and a port name with quotes and Cyrillic letters go through the JSON
// unchanged; a --log folder of 600 old logs loses none of them.
TEST_F(BurnerTest, OneBoxIsBurnedExactlyAndReportedInJsonAndInItsLogFile) {
  const std::string folder = scratch_.file("прошивки \"новые\"");
  std::filesystem::create_directories(folder);
  chipset_ = folder + "/версия \"2\".hv";
  ASSERT_TRUE(testsupport::write_file(chipset_, generated_.text));
  const std::string port = scratch_.file("порт \"1\"");
  const std::string label = "SN \"0042\" Ёж";
  ASSERT_EQ(symlink(port_of(box_).c_str(), port.c_str()), 0);
  fill_with_old_logs(logs(), 600);
  const std::string default_logs = scratch_.file("state") + "/tvbox/logs";
  fill_with_old_logs(default_logs, 3);

  Finished run = this->run(burn_args({port + "=" + label}, {"--sysfont", "--json", "--verify"}));
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(testsupport::box_holds(box_.sim().memories(), generated_.images));
  EXPECT_NE(run.err.find("Summary:"), std::string::npos) << "with --json the people's output goes to stderr";
  EXPECT_NE(run.err.find("SHA-256 " + tv::sha256_hex(generated_.text).substr(0, 12)), std::string::npos)
      << "a header line names the file's digest before the burn: " << run.err;
  EXPECT_EQ(files_in(logs()), 601u) << "a folder named with --log is never pruned";
  EXPECT_EQ(files_in(default_logs), 3u) << "nor is the default folder when the logs go elsewhere";

  Json summary = parse_json(run.out);
  ASSERT_EQ(summary["boxes"].size(), 1u);
  const Json& box = summary["boxes"][0];
  EXPECT_EQ(summary["format"], tv::kJsonFormatVersion);
  EXPECT_EQ(summary["version"], TVBOX_VERSION);
  EXPECT_EQ(summary["exit_code"], 0);
  EXPECT_TRUE(summary["error"].is_null());
  EXPECT_EQ(summary["mode"], "burn");
  EXPECT_EQ(summary["started"].get<std::string>().size(), 20u) << summary["started"];  // ...T14:10:05Z
  EXPECT_EQ(summary["chipset"]["path"], chipset_);
  EXPECT_EQ(summary["chipset"]["sha256"], tv::sha256_hex(generated_.text));
  EXPECT_EQ(summary["chipset"]["size"], generated_.text.size());
  EXPECT_EQ(box["port"], port);
  EXPECT_EQ(box["device"], port);
  EXPECT_EQ(box["label"], label);
  EXPECT_TRUE(box["ok"].get<bool>());
  EXPECT_TRUE(box["verified"].get<bool>());
  EXPECT_EQ(box["verification"], "verified (flash and OSD read back)");
  EXPECT_TRUE(box["failure"].is_null());
  EXPECT_EQ(box["stages_done"], Json({"PIC", "FLASH", "OSD", "RusFont", "SysFont"}));
  EXPECT_GT(box["bytes"].get<double>(), 1000);

  // The log file names the file, its digest, the port and the settings, and
  // holds every burn line with a timestamp and its colour as a word.
  ASSERT_TRUE(box["log"].is_string());
  const std::string log_path = box["log"];
  const std::string log = read_file(log_path);
  EXPECT_EQ(log_path.rfind(logs() + "/", 0), 0u) << log_path;
  for (const std::string& wanted :
       {"Chipset:  " + chipset_, "SHA-256:  " + tv::sha256_hex(generated_.text),
        "Size:     " + std::to_string(generated_.text.size()) + " bytes",
        "Port:     " + port + "\nLabel:    " + label + "\n",
        std::string("Version:  ") + TVBOX_VERSION + "\nHost:     ",
        std::string("Setting:  flash_delay = 3 s"), std::string("ok      Burning PIC..."),
        "Setting:  device = " + port + "\nSetting:  sections = PIC,Flash,OSD,OSD RusFont,OSD SysFont\n",
        std::string("Setting:  verify = yes"), std::string("ok      FLASH verified: 4096 bytes"),
        std::string("ok      OSD SysFont Burned OK!"), std::string("Failures: none"),
        std::string("Outcome:  OK\nVerified: yes (flash and OSD read back)\n")})
    EXPECT_NE(log.find(wanted), std::string::npos) << "missing \"" << wanted << "\" in\n" << log;
}

// The ports from TVBOX_PORTS; the default log folder pruned to --keep-logs,
// saying so.
TEST_F(BurnerTest, TwoBoxesAtOnceAreBothBurnedExactlyFromOneLoad) {
  testsupport::SimulatedBox second{"cli-box2"};
  start_box(second);
  const std::string state_logs = scratch_.file("state") + "/tvbox/logs";
  fill_with_old_logs(state_logs, 5);
  std::vector<std::string> args = {"--sysfont", "--keep-logs", "3", "--keep-days", "36500", chipset_};
  // The first box's line looks like an FTDI adapter that kept its 16 ms
  // latency timer: the pseudo-terminal refused low latency, as such a driver
  // may. The second is a bare pseudo-terminal, with nothing to warn of.
  const std::string sys = scratch_.file("sys");
  const std::string pty = std::filesystem::canonical(port_of(box_)).filename();
  testsupport::add_fake_adapter(sys, {pty, "1-1", "0403", "6001", "FTDI", "FT232R", "A1", "ftdi_sio", 16});
  Finished run = clitest::run_burner(
      args, launch({"TVBOX_PORTS=" + port_of(box_) + "," + port_of(second), "TVBOX_SYSFS_ROOT=" + sys}),
      kBurnDeadlineMs);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(testsupport::box_holds(box_.sim().memories(), generated_.images));
  EXPECT_TRUE(testsupport::box_holds(second.sim().memories(), generated_.images));
  EXPECT_NE(run.err.find("removed 2 old logs from " + state_logs), std::string::npos) << run.err;
  EXPECT_EQ(files_in(state_logs), 3u + 2u);
  // Not a terminal: plain lines per stage on stderr; on stdout the summary
  // alone, one line per port and one per log.
  EXPECT_NE(run.err.find(port_of(second) + ": FLASH done"), std::string::npos) << run.err;
  const std::string warning =
      "tvbox-burn: warning: " + port_of(box_) + ": the USB adapter holds every answer";
  EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
  EXPECT_EQ(count_of(std::vector<uint8_t>(run.err.begin(), run.err.end()), "latency timer"), 1) << run.err;
  EXPECT_EQ(run.out.rfind("Summary:\n", 0), 0u) << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1 + 2 + 2) << run.out;
}

// Five boxes with --verify: a good one, one that falls silent in the Flash
// stage, one that stores a flash byte wrong while echoing it correctly, one
// that refuses one flash record for ever and one whose line goes mid-flash.
// Each fails alone, and the kind a script reads is the cause, not a guess.
TEST_F(BurnerTest, ABoxThatFallsSilentOrFailsVerifyFailsAloneAndTheExitIsOne) {
  testsupport::SimulatedBox silent{"cli-silent"}, wrong{"cli-wrong"}, refusing{"cli-refusing"},
      vanishing{"cli-gone"};
  for (testsupport::SimulatedBox* box : {&silent, &wrong, &refusing, &vanishing}) start_box(*box);
  boxsim::Faults faults;
  faults.silent_after_flash_writes = 10;
  silent.sim().set_faults(faults);
  faults = boxsim::Faults();
  faults.wrong_flash_byte = 0x0123;
  wrong.sim().set_faults(faults);
  faults = boxsim::Faults();
  faults.refuse_always_address = 0x0100;
  refusing.sim().set_faults(faults);
  faults = boxsim::Faults();
  faults.vanish_after_flash_writes = 20;
  vanishing.sim().set_faults(faults);
  Finished run = this->run(
      burn_args({port_of(box_), port_of(silent), port_of(wrong), port_of(refusing), port_of(vanishing)},
                {"--json", "--verify"}));
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 1) << run.err;
  boxsim::Memories good = box_.sim().memories();
  EXPECT_EQ(good.pic, generated_.images.pic);
  EXPECT_EQ(good.flash, generated_.images.flash);
  EXPECT_EQ(good.osd, generated_.images.osd);
  Json summary = parse_json(run.out);
  ASSERT_EQ(summary["boxes"].size(), 5u);
  EXPECT_TRUE(summary["boxes"][0]["ok"].get<bool>());
  EXPECT_EQ(summary["boxes"][3]["failure"]["kind"], "refused") << summary["boxes"][3];
  EXPECT_EQ(summary["boxes"][4]["failure"]["kind"], "line lost") << summary["boxes"][4];
  EXPECT_EQ(summary["boxes"][4]["failure"]["stage"], "FLASH");
  const Json& silent_box = summary["boxes"][1];
  const Json& wrong_box = summary["boxes"][2];
  EXPECT_EQ(silent_box["result"], "FAILED");
  EXPECT_FALSE(silent_box["verified"].get<bool>());
  EXPECT_EQ(silent_box["failure"]["kind"], "silent");
  EXPECT_EQ(silent_box["failure"]["stage"], "FLASH");
  EXPECT_NE(silent_box["failure"]["text"].get<std::string>().find("stopped answering"), std::string::npos)
      << silent_box;
  EXPECT_EQ(wrong_box["result"], "FAILED");
  EXPECT_EQ(wrong_box["failure"]["kind"], "verify mismatch");
  EXPECT_NE(
      wrong_box["first_failure"].get<std::string>().find("verify failed: 1 byte differs, first at 0x0123"),
      std::string::npos)
      << wrong_box;
  EXPECT_EQ(summary["exit_code"], 1);
}

// A box that stores a flash byte wrong while echoing it right: the plain
// burn reads back and catches it, and whatever turns the read-back off lets
// it through as "OK", saying so. The window's saved delays and Verify box
// count where no option decides; a saved value out of range is warned of
// and the default used. A burn of what cannot be read back is not verified.
TEST_F(BurnerTest, TheBurnVerifiesByDefaultAndTakesTheWindowsSavedSettingsUnlessAnOptionDecides) {
  boxsim::Faults faults;
  faults.wrong_flash_byte = 0x0123;
  box_.sim().set_faults(faults);
  const std::string settings_file = scratch_.file("home") + "/.foxrc/Harnvale/TV Box";
  struct Case {
    std::string saved;  // the window's [settings]; empty: no settings file
    std::vector<std::string> args;
    int exit_code;
    std::string verification;
    std::vector<std::string> in_log;
    std::string warned;  // on stderr
  };
  const Case cases[] = {
      {"",
       {},
       1,
       "not verified (a byte read back differs from the file)",
       {"Setting:  flash_delay = 3 s (default)", "Setting:  verify = yes (default)",
        "Verified: no (a byte read back differs from the file)"},
       ""},
      {"flash_delay=4\nsysfont_delay=7\nverify=0\n",
       {},
       0,
       "not verified (the window's saved Verify box is off)",
       {"Setting:  flash_delay = 4 s (window settings)", "Setting:  sysfont_delay = 7 s (window settings)",
        "Setting:  verify = no (window settings)"},
       ""},
      {"flash_delay=50\nverify=0\n",
       {"--verify"},
       1,
       "not verified (a byte read back differs from the file)",
       {"Setting:  flash_delay = 3 s (default)", "Setting:  verify = yes (option)"},
       "warning: the window's saved flash_delay=50 is not whole seconds from 3 to 20: the default 3 s is "
       "used"},
      {"flash_delay=4\n",
       {"--no-verify", "--flash-delay", "5"},
       0,
       "not verified (--no-verify)",
       {"Setting:  flash_delay = 5 s (option)", "Setting:  verify = no (option)",
        "Verified: no (--no-verify)"},
       ""},
      {"", {"--sections", "pic"}, 0, "not verified (nothing of it can be read back)", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.saved + " " + (c.args.empty() ? "" : c.args[0]));
    std::filesystem::remove(settings_file);
    if (!c.saved.empty()) {
      std::filesystem::create_directories(scratch_.file("home") + "/.foxrc/Harnvale");
      ASSERT_TRUE(testsupport::write_file(settings_file, "[settings]\n" + c.saved));
    }
    std::vector<std::string> extra = c.args;
    extra.push_back("--json");
    Finished run = this->run(burn_args({port_of(box_)}, extra));
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
    const Json box = parse_json(run.out)["boxes"][0];
    EXPECT_FALSE(box["verified"].get<bool>()) << box;
    EXPECT_EQ(box["verification"], c.verification) << box;
    if (c.exit_code)
      EXPECT_EQ(box["failure"]["kind"], "verify mismatch") << box;
    else
      EXPECT_TRUE(box["failure"].is_null()) << box;
    EXPECT_NE(run.err.find("; " + c.verification), std::string::npos) << "the summary says it: " << run.err;
    EXPECT_EQ(run.err.find("warning: the window's saved") != std::string::npos, !c.warned.empty()) << run.err;
    if (!c.warned.empty()) {
      EXPECT_NE(run.err.find(c.warned), std::string::npos) << run.err;
    }
    const std::string log = read_file(box["log"]);
    for (const std::string& wanted : c.in_log)
      EXPECT_NE(log.find(wanted), std::string::npos) << "missing \"" << wanted << "\" in\n" << log;
  }
}

// Without -p or TVBOX_PORTS every box the window's burn station saved is
// burned: its first box ("comm") first, then the others of "ports".
TEST_F(BurnerTest, WithoutPortsEveryBoxPortTheWindowSavedIsBurned) {
  testsupport::SimulatedBox second{"cli-box2"};
  start_box(second);
  std::filesystem::create_directories(scratch_.file("home") + "/.foxrc/Harnvale");
  ASSERT_TRUE(testsupport::write_file(
      scratch_.file("home") + "/.foxrc/Harnvale/TV Box",
      "[settings]\ncomm=" + port_of(second) + "\nports=" + port_of(second) + ", " + port_of(box_) + "\n"));
  Finished run = this->run({"--log", logs(), "--json", "--sysfont", chipset_});
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(testsupport::box_holds(box_.sim().memories(), generated_.images));
  EXPECT_TRUE(testsupport::box_holds(second.sim().memories(), generated_.images));
  const Json boxes = parse_json(run.out)["boxes"];
  ASSERT_EQ(boxes.size(), 2u) << run.out;
  EXPECT_EQ(boxes[0]["port"], port_of(second));
  EXPECT_EQ(boxes[1]["port"], port_of(box_));
}

// A box that refuses each PIC record five times: the PIC stage fails, and
// the summary and the JSON say where and why, not only "was not burned".
TEST_F(BurnerTest, ARefusedPicStageNamesItsStageAndKindInTheSummaryAndTheJson) {
  boxsim::Faults faults;
  faults.refuse_first = 5;
  box_.sim().set_faults(faults);
  Finished run = this->run(burn_args({port_of(box_)}, {"--sections", "pic", "--json"}));
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 1) << run.err;
  const Json box = parse_json(run.out)["boxes"][0];
  EXPECT_EQ(box["failure"]["stage"], "PIC") << box;
  EXPECT_EQ(box["failure"]["kind"], "refused") << box;
  EXPECT_NE(run.err.find("first failure in PIC (refused): PIC was not burned."), std::string::npos)
      << run.err;
}

// What a script meets when a run cannot go ahead: the exit status, one line
// on stderr that names the file or the port once with the system's reason,
// the JSON object even then, and nothing sent to any box.
TEST_F(BurnerTest, ExitStatusesAndMessagesOfRunsThatCannotGoAhead) {
  testsupport::SimulatedBox second{"cli-box2"};
  start_box(second);
  const std::vector<std::string> ports = {port_of(box_), port_of(second)};
  // One record's checksum is wrong; the rest of the file is good.
  std::string text = generated_.text;
  size_t record = text.find("\r\n:10", text.find("***FLASH>"));
  ASSERT_NE(record, std::string::npos);
  const int bad_line = int(std::count(text.begin(), text.begin() + long(record), '\n')) + 2;
  size_t checksum = text.find("\r\n", record + 2) - 1;
  text[checksum] = text[checksum] == '0' ? '1' : '0';
  const std::string bad = scratch_.file("bad.hv"), cut = scratch_.file("cut.hv"),
                    some = scratch_.file("some.hv");
  ASSERT_TRUE(testsupport::write_file(bad, text));
  ASSERT_TRUE(testsupport::write_file(cut, sections_of("", "***OSD>")));
  ASSERT_TRUE(testsupport::write_file(some, sections_of("***FLASH>", "***OSD>")));
  const std::string missing = scratch_.file("no-such.hv"), plain_file = scratch_.file("plain");
  ASSERT_TRUE(testsupport::write_file(plain_file, "not a port"));
  // A line another program holds (this test, with the lock every tvbox
  // program takes) is refused naming the holder: a child of this test that
  // keeps nothing else open (the pseudo-terminal's master side, which stays
  // here, is its far end and no holder).
  int held_master = -1, held_line = -1, ready[2], release[2];
  char held_name[64] = {};
  ASSERT_EQ(openpty(&held_master, &held_line, held_name, nullptr, nullptr), 0);
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t holder_pid = fork();
  ASSERT_GE(holder_pid, 0);
  if (holder_pid == 0) {
    dup2(ready[1], 100);
    dup2(release[0], 101);
    close_range(3, 99, 0);
    close_range(102, ~0U, 0);
    const int line = open(held_name, O_RDWR | O_NOCTTY);
    char byte = line >= 0 && flock(line, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
    if (write(100, &byte, 1) == 1) (void)!read(101, &byte, 1);
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char held_ok = 0;
  ASSERT_EQ(read(ready[0], &held_ok, 1), 1);
  ASSERT_EQ(held_ok, 'y');
  close(held_line);
  const std::string held = held_name;
  const std::string holder = "(pid " + std::to_string(holder_pid) + ")";
  // The first flash record given twice: the flash would hold the AND of the
  // two. An OSD record at FFF8 would put its last 8 bytes at 0000.
  const std::string twice = scratch_.file("twice.hv"), past_end = scratch_.file("past-end.hv");
  const size_t flash_record = generated_.text.find("\r\n:10", generated_.text.find("***FLASH>")) + 2;
  const std::string record_line =
      generated_.text.substr(flash_record, generated_.text.find("\r\n", flash_record) + 2 - flash_record);
  std::string edited = generated_.text;
  ASSERT_TRUE(testsupport::write_file(twice, edited.insert(flash_record, record_line)));
  edited = generated_.text;
  const size_t osd_record = edited.find("\r\n", edited.find("***OSD>")) + 2;
  ASSERT_TRUE(testsupport::write_file(
      past_end,
      edited.insert(osd_record, chipsetgen::hex_record(0, 0xFFF8, std::vector<uint8_t>(16, 1)) + "\r\n")));
  // Opened without care, a pipe nobody writes to would hold the run for ever.
  const std::string fifo = scratch_.file("pipe.hv");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  // A damaged gzip file is refused as damaged, whatever its garbled lines
  // look like, at a byte counted in the compressed file.
  const std::string damaged = scratch_.file("damaged.hv.gz");
  std::string error;
  ASSERT_TRUE(chipsetgen::write_chipset(damaged, generated_.text, true, &error)) << error;
  const std::string packed = read_file(damaged);
  ASSERT_TRUE(testsupport::write_file(damaged, packed.substr(0, packed.size() / 2)));

  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string said;  // on stderr
  };
  const Case cases[] = {
      {{"-p", ports[0], "-p", ports[1], bad},
       2,
       bad + ": does not load cleanly: 1 record with a bad checksum, in line "},
      {{"-p", ports[0], damaged}, 2, " of the compressed file ("},
      {{"-p", ports[0], cut},
       2,
       cut + ": has no OSD, OSD Font section; a whole burn needs HEADER, PIC, FLASH"},
      {{"-p", ports[0], "--sections", "flash,osd", some}, 2, some + ": has no OSD section"},
      {{"-p", ports[0], "-p", ports[1], twice},
       2,
       twice + ": does not load cleanly: Line " + std::to_string(bad_line + 1) +
           ": the flash record at 0000 overlaps the one on line " + std::to_string(bad_line)},
      {{"-p", ports[0], past_end}, 2, "the OSD record at FFF8 runs past FFFF, the end of its memory"},
      {{"-p", ports[0], "--sections", "pic,voodoo", chipset_},
       2,
       "--sections takes some of pic,flash,osd,rusfont"},
      {{"-p", ports[0], "--flash-delay", "2", chipset_},
       2,
       "--flash-delay takes whole seconds from 3 to 20, not '2'"},
      {{"-p", ports[0], "--verify", "-V", chipset_}, 2, "--verify and --no-verify say opposite things"},
      {{"--keep-logs", "0", chipset_}, 2, "--keep-logs takes a count from 1 to 100000"},
      {{"--wait", "--resume", "-p", ports[0], chipset_},
       2,
       "--wait burns box after box: --backup, --compare"},
      {{"-p", ports[0], "--label", "", chipset_}, 2, "--label needs a text"},
      {{"-p", "=SN-1", chipset_}, 2, "-p needs a port name"},
      {{"--keep-days", "9", "--log", logs(), chipset_}, 2, "a --log folder is never pruned"},
      {{"-p", ports[0], missing}, 2, "cannot read the chipset file " + missing + ": it does not exist"},
      {{"-p", ports[0], scratch_.path()},
       2,
       "cannot read the chipset file " + scratch_.path() + ": it is a folder"},
      {{"-p", ports[0], fifo},
       2,
       "cannot read the chipset file " + fifo + ": it is not a regular file (a FIFO)"},
      {{"-p", plain_file, chipset_}, 1, "cannot open " + plain_file + ": not a serial line"},
      {{"-p", held, chipset_}, 1, "cannot open " + held + ": busy: held by "},
      {{"--compare", "-p", held, chipset_}, 1, holder},
      {{"-p", "com9", chipset_},
       1,
       "cannot open com9 (" + scratch_.file("ports") + "/com9): No such file or directory"},
      {{"--compare", "-p", "com9", chipset_},
       1,
       "cannot open com9 (" + scratch_.file("ports") + "/com9): No such file or directory"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--json", "--log", logs()};
    if (c.args[0] == "--keep-days") args.resize(1);  // its own --log
    args.insert(args.end(), c.args.begin(), c.args.end());
    Finished run = clitest::run_burner(args, launch({"TVBOX_PORT_DIR=" + scratch_.file("ports")}), 20000);
    SCOPED_TRACE(c.said);
    EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    Json summary = parse_json(run.out);
    EXPECT_EQ(summary["exit_code"], c.exit_code);
    if (c.exit_code == 2) {
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << "one line on stderr: " << run.err;
      EXPECT_EQ(run.err.find(".;"), std::string::npos) << run.err;
      EXPECT_NE(summary["error"]["text"].get<std::string>().find(c.said), std::string::npos) << summary;
      EXPECT_TRUE(summary["boxes"].empty());
    } else {
      EXPECT_EQ(summary["boxes"][0]["failure"]["kind"], "port") << summary;
    }
  }
  EXPECT_EQ(parse_json(run({"--json", "-p", ports[0], bad}, 20000).out)["error"]["line"], bad_line);
  close(release[1]);
  waitpid(holder_pid, nullptr, 0);
  close(ready[0]);
  close(held_master);
  // --wait's JSON is JSON Lines: its refusal too is one line.
  Finished waited = run({"--json", "--wait", "-p", ports[0], bad}, 20000);
  EXPECT_EQ(waited.exit_code, 2);
  EXPECT_EQ(std::count(waited.out.begin(), waited.out.end(), '\n'), 1) << waited.out;
  EXPECT_EQ(parse_json(waited.out)["error"]["line"], bad_line);
  EXPECT_TRUE(box_.sim().received().empty());
  EXPECT_TRUE(second.sim().received().empty());

  Finished help = run({"--help"}, 5000);
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("usage: tvbox-burn", 0), 0u) << help.out;
  std::istringstream help_lines(help.out);
  for (std::string line; std::getline(help_lines, line);) EXPECT_LE(line.size(), 80u) << line;
  Finished listing = run({"--list-ports"}, 5000);
  EXPECT_EQ(listing.exit_code, 0);
  std::istringstream listed(listing.out);
  for (std::string line; std::getline(listed, line);) EXPECT_EQ(line.rfind("/dev/", 0), 0u) << line;

  // A machine of the test's own: an FTDI adapter with its default 16 ms
  // latency timer, found by its by-id name too.
  const std::string dev = scratch_.file("dev"), sys = scratch_.file("sys");
  std::filesystem::create_directories(dev + "/serial/by-id");
  ASSERT_TRUE(testsupport::write_file(dev + "/ttyUSB0", ""));
  const std::string by_id = dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  std::filesystem::create_symlink("../../ttyUSB0", by_id);
  testsupport::add_fake_adapter(
      sys, {"ttyUSB0", "1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI", "ftdi_sio", 16});
  const Launch fake_machine = launch({"TVBOX_DEV_ROOT=" + dev, "TVBOX_SYSFS_ROOT=" + sys});
  Finished as_text = clitest::run_burner({"--list-ports"}, fake_machine, 5000);
  EXPECT_EQ(as_text.exit_code, 0) << as_text.err;
  EXPECT_EQ(as_text.out,
            dev + "/ttyUSB0  ftdi_sio  16 ms    FTDI FT232R USB UART, serial A50285BI  " + by_id + "\n");
  EXPECT_NE(as_text.err.find("warning: " + dev +
                             "/ttyUSB0: the USB adapter holds every answer of the box for its "
                             "latency timer, 16 ms"),
            std::string::npos)
      << as_text.err;
  EXPECT_NE(as_text.err.find("ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
                             "ATTR{latency_timer}=\"1\""),
            std::string::npos)
      << as_text.err;
  Finished json = clitest::run_burner({"--list-ports", "--json"}, fake_machine, 5000);
  EXPECT_EQ(json.exit_code, 0) << json.err;
  const Json machine = parse_json(json.out);
  EXPECT_EQ(machine["format"], tv::kJsonFormatVersion);
  EXPECT_EQ(machine["program"], "tvbox-burn");
  EXPECT_EQ(machine["version"], TVBOX_VERSION);
  EXPECT_EQ(machine["mode"], "list-ports");
  EXPECT_EQ(machine["ports"], Json::parse(R"([{"path": ")" + dev + R"(/ttyUSB0", "by_id": ")" + by_id +
                                          R"x(", "driver": "ftdi_sio", "manufacturer": "FTDI",
      "product": "FT232R USB UART", "serial": "A50285BI", "latency_timer_ms": 16,
      "description": "FTDI FT232R USB UART, serial A50285BI (ttyUSB0)"}])x"));
}

// A file with some sections only, as a read-back leaves one, burns back
// with --sections naming them: those and nothing else. The box's port is
// made only after the burner started, as when both are started together.
TEST_F(BurnerTest, AFileOfSomeSectionsBurnsBackWithSectionsNamingThem) {
  chipset_ = scratch_.file("backup.hv");
  ASSERT_TRUE(testsupport::write_file(chipset_, sections_of("***FLASH>", "***OSD Font>")));
  testsupport::SimulatedBox late{"cli-late"};
  BurnerProcess burner(burn_args({late.dir().file("com3")}, {"--sections", "flash,osd"}), launch());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the port is late, not a wait for the burner
  start_box(late);
  Finished run = burner.finish(kBurnDeadlineMs);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  boxsim::Memories memories = late.sim().memories();
  EXPECT_EQ(memories.flash, generated_.images.flash);
  EXPECT_EQ(memories.osd, generated_.images.osd);
  EXPECT_EQ(late.sim().stats().pic_records, 0u);
  EXPECT_EQ(late.sim().stats().font_page_clears, 0u);
}

// --wait on two ports of a bench, each getting three boxes one after the
// other (a box goes: its line vanishes; the next one's line comes under the
// same name). Every box is burned once, exactly, with a result line and a
// saved log of its own; ctrl-C between boxes ends the loop with exit 0 and a
// summary of six boxes OK. Started under nohup, it outlives a hang-up.
TEST_F(BurnerTest, WaitBurnsEachBoxThatComesOnEveryPortOnceAndCtrlCBetweenBoxesEndsItCleanly) {
  constexpr int kBoxesPerPort = 3;
  testsupport::TempDir bench{"wait-bench"};
  const std::vector<std::string> names = {"bench-a", "bench-b"};
  std::vector<std::unique_ptr<boxsim::BoxSimulator>> boxes(names.size());
  auto bring_up = [&](size_t port) {
    if (boxes[port]) boxes[port]->stop();
    boxes[port] = std::make_unique<boxsim::BoxSimulator>();
    std::string error;
    return boxes[port]->start(bench.path(), &error, names[port], "ctl-" + names[port]);
  };
  ASSERT_TRUE(bring_up(0) && bring_up(1));
  const std::string port_a = bench.path() + "/bench-a", port_b = bench.path() + "/bench-b";
  const std::string out_path = scratch_.file("wait.out");
  const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(out, 0);
  Launch how = launch();
  how.stdout_fd = out;
  how.ignored = {SIGHUP};  // started with nohup, as a line's loop is
  BurnerProcess burner({"--wait", "--log", logs(), "--label", "line-7", "-p", port_a + "=SN-A", "-p", port_b,
                        "--sections", "flash,osd", chipset_},
                       how);
  close(out);
  auto result_lines = [&] {
    const std::string text = read_file(out_path);
    return int(std::count(text.begin(), text.end(), '\n'));
  };
  auto holds_the_file = [&](const boxsim::Memories& memories) {
    return std::equal(memories.osd.begin(), memories.osd.end(), generated_.images.osd.begin()) &&
           std::equal(memories.flash.begin(), memories.flash.begin() + 0x10000,
                      generated_.images.flash.begin());
  };
  for (int round = 1; round <= kBoxesPerPort; ++round) {
    SCOPED_TRACE("box " + std::to_string(round) + " of each port");
    ASSERT_TRUE(testsupport::wait_for([&] { return result_lines() == 2 * round; }, 90000))
        << read_file(out_path);
    for (size_t port = 0; port < names.size(); ++port) {
      EXPECT_TRUE(holds_the_file(boxes[port]->memories())) << names[port];
      EXPECT_EQ(boxes[port]->stats().sector_erases, 1u) << names[port] << ": burned once, not twice";
      if (round < kBoxesPerPort) {
        ASSERT_TRUE(bring_up(port));
      }
    }
    // The operator's terminal closes: under nohup the loop goes on.
    if (round == 1) kill(burner.pid(), SIGHUP);
  }
  kill(burner.pid(), SIGINT);
  Finished run = burner.finish(30000);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find(port_b + ": FLASH done\n"), std::string::npos) << "progress on stderr: " << run.err;
  EXPECT_NE(run.err.find("interrupted (Interrupt)\n"), std::string::npos) << "no burn to stop: " << run.err;
  const std::string results = read_file(out_path);
  for (int count = 1; count <= kBoxesPerPort; ++count) {
    const std::string n = "  #" + std::to_string(count) + "  OK verified  ";
    EXPECT_NE(results.find(port_a + n), std::string::npos) << results;
    EXPECT_NE(results.find(port_b + n), std::string::npos) << results;
  }
  EXPECT_EQ(std::count(results.begin(), results.end(), '\n'), 2 * kBoxesPerPort + 4) << results;
  EXPECT_NE(results.find("Summary:\n"), std::string::npos) << results;
  const size_t total = results.find("\n  total ");
  EXPECT_NE(results.find(" 6 OK, 0 failed\n", total), std::string::npos) << results;
  EXPECT_NE(results.find("  " + port_b + "  3 OK, 0 failed  line-7\n"), std::string::npos) << results;
  int saved = 0;
  for (const auto& entry : std::filesystem::directory_iterator(logs())) {
    const std::string log = read_file(entry.path().string());
    const bool on_a = log.find("Port:     " + port_a + "\n") != std::string::npos;
    EXPECT_NE(log.find(on_a ? "Label:    SN-A\n" : "Label:    line-7\n"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string("Version:  ") + TVBOX_VERSION + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Outcome:  OK\n"), std::string::npos) << log;
    ++saved;
  }
  EXPECT_EQ(saved, 2 * kBoxesPerPort);
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
  Launch how = launch();
  how.stderr_fd = how.stdout_fd = slave;
  BurnerProcess burner(burn_args({port_of(box_)}), how);
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
  // short says so, it does not fail. SIGQUIT (ctrl-\ on a terminal, at its
  // default disposition in the burner) ends it the same way, as 131.
  for (int stop : {SIGINT, SIGQUIT}) {
    SCOPED_TRACE(strsignal(stop));
    const uint64_t erases = box_.sim().stats().sector_erases;
    const int four_z_before = count_of(box_.sim().received(), kFourZLine);
    BurnerProcess plain(burn_args({port_of(box_)}));
    ASSERT_TRUE(testsupport::wait_for([&] { return box_.sim().stats().sector_erases > erases; }, 60000));
    kill(plain.pid(), stop);
    Finished stopped = plain.finish(30000);
    EXPECT_EQ(stopped.exit_code, 128 + stop) << stopped.err;
    EXPECT_NE(stopped.err.find(": FLASH cancelled\n"), std::string::npos) << stopped.err;
    EXPECT_NE(stopped.err.find(std::string("interrupted (") + strsignal(stop) +
                               "): every burn stops at its next packet"),
              std::string::npos)
        << stopped.err;
    EXPECT_EQ(stopped.err.find("FLASH FAILED"), std::string::npos) << stopped.err;
    EXPECT_EQ(stopped.out.find("FLASH FAILED"), std::string::npos) << stopped.out;
    EXPECT_TRUE(testsupport::wait_for(
        [&] { return count_of(box_.sim().received(), kFourZLine) == four_z_before + 2; }, 5000))
        << "the burn's end sends the four-Z line after the hand-shake's";
  }
  EXPECT_NE(screen.find("PIC", summary), std::string::npos) << "the PIC stage was finished: " << screen;
}

// A dropped ssh session sends SIGHUP: the burn ends as after ctrl-C, the
// saved log says it was cancelled, and the terminal that is gone gets
// nothing more (the summary is not written to it).
TEST_F(BurnerTest, SighupMidFlashEndsTheBurnWithTheFourZLineAndACancelledLog) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  Launch how = launch();
  how.stderr_fd = slave;
  BurnerProcess burner(burn_args({port_of(box_)}, {"--json"}), how);
  close(slave);
  std::string screen;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;) screen.append(buffer, size_t(got));
  });
  bool in_flash = testsupport::wait_for([&] { return box_.sim().stats().sector_erases > 0; }, 60000);
  kill(burner.pid(), SIGHUP);
  Finished run = burner.finish(30000);
  reader.join();
  close(master);
  ASSERT_TRUE(in_flash);
  EXPECT_NE(screen.find("burning " + chipset_), std::string::npos) << screen;
  EXPECT_EQ(screen.find("Summary:"), std::string::npos) << screen;
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 128 + SIGHUP) << run.err;
  EXPECT_TRUE(testsupport::wait_for([&] { return count_of(box_.sim().received(), kFourZLine) == 2; }, 5000));
  Json summary = parse_json(run.out);
  EXPECT_EQ(summary["exit_code"], 128 + SIGHUP);
  EXPECT_EQ(summary["boxes"][0]["failure"]["kind"], "cancelled");
  const std::string log = read_file(summary["boxes"][0]["log"]);
  EXPECT_NE(log.find("Outcome:  CANCELLED"), std::string::npos) << log;
}

// tvbox-burn 2>&1 | sleep 60: one pipe for both outputs, full and never
// read. The burn runs to its end and the program exits.
TEST_F(BurnerTest, AnOutputPipeNobodyReadsNeitherHoldsTheBurnNorTheExit) {
  int both[2];
  ASSERT_EQ(pipe2(both, O_CLOEXEC), 0);
  fcntl(both[1], F_SETFL, O_NONBLOCK);
  std::vector<char> filler(65536, 'x');
  while (write(both[1], filler.data(), filler.size()) > 0) {
  }
  fcntl(both[1], F_SETFL, 0);
  Launch how = launch();
  how.stderr_fd = how.stdout_fd = both[1];
  BurnerProcess burner(burn_args({port_of(box_)}, {"--trace", "--json"}), how);
  close(both[1]);
  Finished run = burner.finish(kBurnDeadlineMs);
  close(both[0]);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(box_.sim().memories().flash, generated_.images.flash);
  EXPECT_EQ(box_.sim().memories().osd, generated_.images.osd);
}

// The trace goes to standard error with --trace: neither a reader that has
// gone nor one that does not read during the burn may kill or hold it; the
// lines that were dropped are counted for the script.
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
    Launch how = launch();
    how.stderr_fd = trace_pipe[1];
    BurnerProcess burner(burn_args({port_of(box_)}, {"--trace", "--json", "--sections", "flash"}), how);
    close(trace_pipe[1]);
    Finished run = burner.finish(kBurnDeadlineMs);
    if (trace_pipe[0] >= 0) close(trace_pipe[0]);
    const char* which = reader_gone ? "closed pipe" : "full pipe";
    EXPECT_FALSE(run.timed_out) << which;
    EXPECT_EQ(run.signal, 0) << which;
    EXPECT_EQ(run.exit_code, 0) << which;
    EXPECT_EQ(box_.sim().memories().flash, generated_.images.flash);
    if (reader_gone) {
      EXPECT_GT(parse_json(run.out)["trace_lines_dropped"].get<int>(), 100) << which;
    }
  }
  EXPECT_EQ(box_.sim().stats().pic_records, 0u) << "--sections flash leaves the PIC program alone";
}

// A port with nothing behind it: five attempts at the first PIC record are
// not waited out once nothing at all has come back, and the summary says
// what to check instead of "ERROR !".
TEST_F(BurnerTest, APortWithNoBoxBehindItFailsWithinThirtyFiveSecondsSayingSo) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  const std::string port = ttyname(slave);
  close(slave);
  std::thread sink([master] {
    char buffer[4096];
    while (read(master, buffer, sizeof buffer) > 0) {
    }
  });
  Finished run = this->run(burn_args({port}, {"--json"}), 35000);
  close(master);
  sink.join();
  ASSERT_FALSE(run.timed_out) << "a port with nothing on it fails within 35 s";
  EXPECT_EQ(run.exit_code, 1);
  const std::string said = "no box answered on " + port + ": check the cable, the power and the port";
  Json summary = parse_json(run.out);
  EXPECT_EQ(summary["boxes"][0]["failure"]["text"], said);
  EXPECT_EQ(summary["boxes"][0]["failure"]["kind"], "silent");
  EXPECT_NE(run.err.find("first failure in PIC (silent): " + said), std::string::npos) << run.err;
}

// Every program says its version, from the build's one version, and its
// usage with --help, each line within 80 columns; the window does not open
// for either (there is no display here to open it on).
TEST(Programs, VersionAndHelpExitZeroWithoutADisplayInAllFive) {
  for (const char* program :
       {"/src/tvbox", "/src/tvbox-burn", "/src/tvbox-reg", "/tools/tvbox-sim", "/tools/tvbox-gen"}) {
    const std::string path = std::string(TVBOX_BINARY_DIR) + program;
    const std::string name = path.substr(path.rfind('/') + 1);
    Launch how;
    how.program = path;
    how.unset = {"DISPLAY"};
    Finished run = clitest::run_burner({"--version"}, how, 10000);
    EXPECT_EQ(run.exit_code, 0) << name << run.err;
    EXPECT_EQ(run.out, name + " " + TVBOX_VERSION + "\n") << name;
    Finished help = clitest::run_burner({"--help"}, how, 10000);
    EXPECT_EQ(help.exit_code, 0) << name << help.err;
    EXPECT_NE(help.out.find("--version"), std::string::npos) << name << help.out;
    EXPECT_TRUE(help.err.empty()) << name << help.err;
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << name << ": " << line;
  }
}

// Each option a program's --help lists is in its manual page.
TEST(Programs, ManualPagesListEveryOptionTheirHelpLists) {
  for (const char* program : {"/src/tvbox-burn", "/src/tvbox-reg", "/tools/tvbox-sim", "/tools/tvbox-gen"}) {
    const std::string path = std::string(TVBOX_BINARY_DIR) + program;
    const std::string name = path.substr(path.rfind('/') + 1);
    Launch how;
    how.program = path;
    Finished help = clitest::run_burner({"--help"}, how, 10000);
    std::string page = read_file(std::string(TVBOX_SOURCE_DIR) + "/man/" + name + ".1");
    page.erase(std::remove(page.begin(), page.end(), '\\'), page.end());  // roff's "\-"
    std::istringstream words(help.out);
    int options = 0;
    for (std::string word; words >> word;) {
      if (word.rfind("--", 0) != 0 || word.size() < 3) continue;
      word = word.substr(0, word.find_first_of(",=)"));
      ++options;
      EXPECT_NE(page.find(word), std::string::npos) << name << ".1 lacks " << word;
    }
    EXPECT_GT(options, 3) << name;
  }

  // tvbox-burn's own table: each option it has is in the help with its letter
  // and value, and is an entry of the manual's OPTIONS.
  const std::string help = tv::burn_usage_text();
  std::string page = read_file(std::string(TVBOX_SOURCE_DIR) + "/man/tvbox-burn.1");
  const size_t options_from = page.find(".SH OPTIONS\n");
  ASSERT_NE(options_from, std::string::npos);
  page = page.substr(options_from, page.find("\n.SH ", options_from + 1) - options_from);
  std::string entries;  // the line after each ".TP", roff's "\-" made "-"
  for (size_t at = page.find(".TP\n"); at != std::string::npos; at = page.find(".TP\n", at + 1)) {
    std::string entry = page.substr(at + 4, page.find('\n', at + 4) - at - 4);
    for (size_t dash; (dash = entry.find("\\-")) != std::string::npos;) entry.erase(dash, 1);
    entries += entry + "\n";
  }
  int listed = 0;
  for (const tv::BurnOption& option : tv::burn_option_table()) {
    const std::string name = std::string("--") + option.name;
    if (option.hidden) {
      EXPECT_EQ(help.find(name), std::string::npos) << name;
      continue;
    }
    ++listed;
    std::string heading = (option.letter ? std::string("  -") + option.letter + ", " : "      ") + name;
    if (option.value) heading += std::string(" ") + option.value;
    EXPECT_NE(help.find("\n" + heading + " "), std::string::npos) << "the help lacks " << heading;
    const std::regex in_manual("(^|[ \"])" + name + "([ \"]|$)", std::regex::multiline);
    EXPECT_TRUE(std::regex_search(entries, in_manual)) << "tvbox-burn.1's OPTIONS lack " << name;
    if (option.letter) {
      EXPECT_NE(entries.find(std::string("-") + option.letter + " "), std::string::npos) << option.letter;
    }
  }
  EXPECT_GT(listed, 15);
}

// The live line fits the terminal: a long port name loses its middle, and
// the bytes, the time and the estimate stay. Between two stages the burn
// waits out a delay, and the line says so.
TEST(BurnDisplay, TheLiveLineFitsTheTerminalAndSaysWaitingBetweenStages) {
  tv::PortStatus port;
  port.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A9M5ZK1Q-if00-port0";
  port.state = tv::BoxState::Running;
  port.stage = "FLASH";
  port.percent = 42;
  port.bytes = 123456;
  port.left_s = 65;
  for (size_t width : {60u, 79u, 100u}) {
    const std::string line = tv::status_line(port, tv::port_column_width({port}, width));
    EXPECT_LE(line.size(), std::max<size_t>(width, 62 + 16 + 1)) << line;
    EXPECT_NE(line.find("-port0"), std::string::npos) << line;
    EXPECT_NE(line.find("123.5 kB"), std::string::npos) << line;
    if (width >= 79) {
      EXPECT_NE(line.find("~1:05 left"), std::string::npos) << line;
    }
  }
  EXPECT_EQ(tv::shortened_in_the_middle("/dev/serial/by-id/usb-1234", 11), "/dev...1234");

  // The OSD stage: its clear (6 s planned) moves the percent by the clock,
  // its records (6 s more at the line's pace) by what the burn reports.
  tv::LoadedChipset chipset;
  chipset.section_lines[int(tv::Section::Osd)] = 1080;
  tv::ReportBoard board;
  tv::PortReport report("com3", tv::plan_stages(chipset, 0x1F, 3, 6), board);
  report.begin();
  report.stage_begun(tv::Section::Osd);
  const auto now = std::chrono::steady_clock::now();
  EXPECT_EQ(report.snapshot(now + std::chrono::seconds(3)).percent, 25);
  EXPECT_EQ(report.snapshot(now + std::chrono::seconds(9)).percent, 50) << "the clear's part at most";
  report.progress(50);
  EXPECT_EQ(report.snapshot(now + std::chrono::seconds(9)).percent, 75);
  report.stage_ended(tv::Section::Osd, true);
  EXPECT_EQ(report.snapshot().stage, "waiting");
  EXPECT_EQ(report.snapshot().percent, 0);
}

// --wait tells each box's end in one line for people and one line of JSON
// for scripts, and sums the ports up at the end; a failure names its kind, a
// box without a label has none (null in the JSON).
TEST(BurnDisplay, WaitResultLinesJsonLinesAndTheSummary) {
  struct Case {
    tv::BoxState state;
    bool verified;
    const char* verification;
    const char* kind;
    const char* label;
    const char* line;
  };
  const Case cases[] = {
      {tv::BoxState::Ok, true, "verified (flash and OSD read back)", nullptr, "SN-0042",
       "com3  #17  OK verified  1:58  SN-0042\n"},
      {tv::BoxState::Ok, false, "not verified (--no-verify)", nullptr, "",
       "com3  #17  OK not verified  1:58\n"},
      {tv::BoxState::Failed, false, "", "silent", "x", "com3  #17  FAILED (silent)  1:58  x\n"},
      {tv::BoxState::Cancelled, false, "", "cancelled", "", "com3  #17  CANCELLED  1:58\n"},
  };
  for (const Case& c : cases) {
    tv::WaitedBox box;
    box.status.port = "com3";
    box.status.state = c.state;
    box.status.verified = c.verified;
    box.status.verification = c.verification;
    box.status.failure_kind = c.kind;
    box.status.elapsed_s = 118;
    box.label = c.label;
    box.count = 17;
    box.started = "2026-12-08T23:00:00Z";
    EXPECT_EQ(tv::wait_result_line(box), c.line);
    const std::string text = tv::wait_box_json(box);
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << "one JSON line per box: " << text;
    const Json json = parse_json(text);
    EXPECT_EQ(json["mode"], "wait");
    EXPECT_EQ(json["port"], "com3");
    EXPECT_EQ(json["count"], 17);
    EXPECT_EQ(json["label"], *c.label ? Json(c.label) : Json(nullptr)) << text;
    EXPECT_EQ(json["result"]["ok"], c.state == tv::BoxState::Ok) << text;
    EXPECT_EQ(json["started"], box.started);
  }
  const std::vector<tv::WaitTally> ports = {{"com3", "bench-A", 4, 1}, {"com4", "", 2, 0}};
  EXPECT_EQ(tv::wait_summary_text(ports),
            "Summary:\n  com3   4 OK, 1 failed  bench-A\n  com4   2 OK, 0 failed\n  total  6 OK, 1 failed\n");
  const Json summary = parse_json(tv::wait_summary_json(ports, "s", "e", 1));
  EXPECT_EQ(summary["total"], Json({{"ok", 6}, {"failed", 1}}));
  EXPECT_EQ(summary["ports"][1]["ok"], 2);
  EXPECT_EQ(summary["exit_code"], 1);
}

// Without a terminal (a log file, a CI job, TERM=dumb) each box gets a plain
// line at every tenth of its whole job or after 30 s without one, whichever
// comes first, and none once it has ended; no cursor codes.
TEST(BurnDisplay, PlainLinesComeEveryTenthOfTheJobOrEveryThirtySeconds) {
  int lines[2];
  ASSERT_EQ(pipe2(lines, O_CLOEXEC | O_NONBLOCK), 0);
  tv::ProgressDisplay display(lines[1], false);
  tv::PortStatus port;
  port.port = "com3";
  port.state = tv::BoxState::Running;
  port.stage = "FLASH";
  port.retries = 2;
  auto shown = [&](int job_percent, double elapsed_s) {
    port.job_percent = job_percent;
    port.percent = job_percent * 2;
    port.elapsed_s = elapsed_s;
    port.left_s = elapsed_s >= 1 ? 65 : -1;
    display.show({}, {port});
    char buffer[4096];
    const ssize_t got = read(lines[0], buffer, sizeof buffer);
    return got > 0 ? std::string(buffer, size_t(got)) : std::string();
  };
  EXPECT_EQ(shown(5, 0.5), "");
  EXPECT_EQ(shown(12, 4), "com3: 12% of the job, FLASH 24%, retries 2, 0:04 elapsed, about 1:05 left\n");
  EXPECT_EQ(shown(19, 33.5), "") << "neither another tenth nor 30 s since the last line";
  EXPECT_NE(shown(19, 34), "") << "30 s since the last line";
  EXPECT_NE(shown(35, 35), "") << "two tenths at once: one line";
  EXPECT_EQ(shown(39, 36), "");
  port.state = tv::BoxState::Ok;
  EXPECT_EQ(shown(100, 90), "") << "an ended box has its own line";
  EXPECT_FALSE(tv::redraws_in_place(lines[1], "xterm")) << "a pipe";
  close(lines[0]);
  close(lines[1]);

  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  EXPECT_TRUE(tv::redraws_in_place(slave, "xterm"));
  EXPECT_TRUE(tv::redraws_in_place(slave, nullptr));
  EXPECT_FALSE(tv::redraws_in_place(slave, "dumb"));
  close(master);
  close(slave);
}

// The ports a bench gets without -p: TVBOX_PORTS wins over the window's
// saved port, which wins over com3; the window's file also gives the log
// limits, checked against their ranges.
TEST(BurnOptions, DefaultPortsAndTheWindowsSavedSettings) {
  EXPECT_EQ(tv::default_ports("com4,,/dev/ttyUSB0,com4", {"com6"}),
            (std::vector<std::string>{"com4", "/dev/ttyUSB0"}));
  EXPECT_EQ(tv::default_ports("", {"/dev/x y"}), std::vector<std::string>{"/dev/x y"});
  EXPECT_EQ(tv::default_ports(nullptr, {}), std::vector<std::string>{"com3"});

  testsupport::TempDir dir("window-settings");
  const std::string path = dir.file("TV Box");
  ASSERT_TRUE(testsupport::write_file(path,
                                      "[position]\ncomm=com1\n[settings]\ncomm=\"/dev/serial/by-id/a "
                                      "\\\"b\\\"\"\nkeep_logs=20\nkeep_days=0\n"));
  tv::WindowSettings settings = tv::read_window_settings(path);
  EXPECT_EQ(settings.ports, std::vector<std::string>{"/dev/serial/by-id/a \"b\""});
  EXPECT_EQ(settings.keeping.files, 20);
  EXPECT_EQ(settings.keeping.days, tv::LogKeeping().days) << "0 days is out of range";
  EXPECT_TRUE(tv::read_window_settings(dir.file("missing")).ports.empty());
  EXPECT_FALSE(settings.verify) << "none saved: the default counts";
  // A first port changed where only "comm" is known replaces the list's first.
  ASSERT_TRUE(testsupport::write_file(path, "[settings]\nports=com3,com4, com6\ncomm=com4\n"));
  EXPECT_EQ(tv::read_window_settings(path).ports, (std::vector<std::string>{"com4", "com6"}));
  ASSERT_TRUE(testsupport::write_file(path, "[settings]\nports=com3,com4, com6\ncomm=com3\n"));
  EXPECT_EQ(tv::read_window_settings(path).ports, (std::vector<std::string>{"com3", "com4", "com6"}));

  // A Verify box saved as something other than a number is warned of under
  // its key; a key saved twice counts by its last value.
  ASSERT_TRUE(testsupport::write_file(path, "[settings]\nverify=yes\nflash_delay=99\nflash_delay=6\n"));
  settings = tv::read_window_settings(path);
  EXPECT_FALSE(settings.verify);
  EXPECT_EQ(settings.flash_delay, 6);
  ASSERT_EQ(settings.warnings.size(), 1u);
  EXPECT_EQ(settings.warnings[0].first, "verify");

  const char* argv[] = {"tvbox-burn", "--sections", "pic,osd", "--keep-days=7", "f.hv"};
  tv::BurnOptions options;
  std::string error;
  ASSERT_TRUE(tv::parse_burn_options(5, argv, &options, &error)) << error;
  EXPECT_EQ(options.sections, tv::kSectionPic | tv::kSectionOsd);
  EXPECT_TRUE(options.ports.empty());
  EXPECT_EQ(options.keeping.days, 7);
  EXPECT_TRUE(options.verify) << "a burn reads back unless told not to";

  // The stages a partial file offers are its own, never the ones it lacks.
  tv::LoadedChipset partial;
  partial.opened = true;
  partial.flags = tv::kSectionPic | tv::kSectionFlash;
  EXPECT_EQ(tv::chosen_stages(partial, tv::BurnOptions()), tv::kSectionPic | tv::kSectionFlash);
  EXPECT_NE(tv::chipset_refusal(partial, tv::BurnOptions()).find("has no HEADER, OSD, OSD Font section"),
            std::string::npos);
}

// The forms of getopt_long: letters together with their value, long names
// cut short, "=" values, options after the file, "--" and "-". Each usage
// error is one line naming what was wrong, the first of them when there are
// more; what could be read is kept (a refusal still answers in JSON). The
// cases run one after another in one process: each parse starts afresh.
TEST(BurnOptions, GetoptFormsAndTheirOneLineErrors) {
  struct Case {
    std::vector<const char*> args;
    std::string error;  // empty: parsed
    std::vector<std::string> ports;
    std::string chipset;
    bool no_verify = false, json = false, compare = false;
    int flash_delay = 3;
  };
  const Case cases[] = {
      {{"-pcom3", "f.hv"}, "", {"com3"}, "f.hv", false, false, false, 3},
      {{"-Vpcom3", "-p", "com4", "f.hv"}, "", {"com3", "com4"}, "f.hv", true, false, false, 3},
      {{"f.hv", "--port=/dev/x=y", "--js", "--fl=7"}, "", {"/dev/x"}, "f.hv", false, true, false, 7},
      {{"--comp", "--no-v", "f.hv"}, "--compare writes nothing", {}, "f.hv", true, false, true, 3},
      {{"--comp", "-p", "com3", "--", "-f.hv"}, "", {"com3"}, "-f.hv", false, false, true, 3},
      {{"-"}, "", {}, "-", false, false, false, 3},
      {{"--keep", "3", "f.hv"},
       "'--keep' is short for more than one option: --keep-logs or --keep-days",
       {},
       "3"},
      {{"--json=yes", "f.hv"}, "--json takes no value", {}, "f.hv"},
      {{"-Vx", "--json", "f.hv"}, "unknown option '-x'", {}, "f.hv", true, true},
      {{"--bogus=1", "f.hv"}, "unknown option '--bogus=1'", {}, "f.hv"},
      {{"f.hv", "-p"}, "-p needs a value", {}, "f.hv"},
      {{"f.hv", "--log"}, "--log needs a value", {}, "f.hv"},
      {{"--port=", "f.hv"}, "--port needs a port name", {}, "f.hv"},
      {{"--port", "", "f.hv"}, "--port needs a port name", {}, "f.hv"},
      {{"-p", "", "f.hv"}, "-p needs a port name", {}, "f.hv"},
      {{"-p", "com3", "-pcom3", "f.hv"}, "the port com3 is named twice", {"com3"}, "f.hv"},
      {{"--flash=2", "--bogus", "f.hv"},
       "--flash-delay takes whole seconds from 3 to 20, not '2'",
       {},
       "f.hv"},
      {{"a.hv", "b.hv"}, "one chipset file at a time, not 2", {}, "a.hv"},
      {{"--option-tab"}, "", {}, ""},
  };
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : cases) {
      std::vector<const char*> argv = {"tvbox-burn"};
      argv.insert(argv.end(), c.args.begin(), c.args.end());
      SCOPED_TRACE(argv[1]);
      tv::BurnOptions options;
      std::string error;
      const bool parsed = tv::parse_burn_options(int(argv.size()), argv.data(), &options, &error);
      EXPECT_EQ(parsed, c.error.empty()) << error;
      if (!c.error.empty()) {
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
      }
      EXPECT_EQ(options.ports, c.ports);
      EXPECT_EQ(options.chipset, c.chipset);
      EXPECT_EQ(options.no_verify_option, c.no_verify);
      EXPECT_EQ(options.json, c.json);
      EXPECT_EQ(options.compare, c.compare);
      if (parsed) {
        EXPECT_EQ(options.flash_delay, c.flash_delay);
      }
    }
  }
  const char* table[] = {"tvbox-burn", "--option-table"};
  tv::BurnOptions options;
  std::string error;
  ASSERT_TRUE(tv::parse_burn_options(2, table, &options, &error)) << error;
  EXPECT_TRUE(options.option_table);
  const std::string listed = tv::option_list_text();
  for (const char* line : {"--port\t-p\tNAME\tport\n", "--log\t\tDIR\tfolder\n", "--backup\t\tFILE\tfile\n",
                           "--sections\t\tLIST\tsections\n", "--resume\t\t\tnone\n"})
    EXPECT_NE(listed.find(line), std::string::npos) << line;
  EXPECT_EQ(listed.find("--option-table"), std::string::npos);
}

// Every object tvbox-burn --json prints, in each mode and on each kind of
// refusal, matches its JSON Schema under a validator that is not ours; a
// refusal names its reason in "error"; the times read in jq as UTC, the
// start no later than the end.
TEST_F(BurnerTest, EveryJsonObjectMatchesItsSchemaAndEveryRefusalNamesItsError) {
  Launch python;
  python.program = "/usr/bin/python3";
  ASSERT_EQ(clitest::run_burner({"-c", "import jsonschema"}, python, 10000).exit_code, 0)
      << "python3-jsonschema is not installed (scripts/install-deps.sh)";
  Launch jq;
  jq.program = "/usr/bin/jq";
  const bool have_jq = access(jq.program.c_str(), X_OK) == 0;
  const std::string port = port_of(box_), cut = scratch_.file("cut.hv"), missing = scratch_.file("none.hv"),
                    not_a_port = scratch_.file("plain");
  ASSERT_TRUE(testsupport::write_file(cut, sections_of("", "***OSD>")));
  ASSERT_TRUE(testsupport::write_file(not_a_port, "not a port"));
  const std::string schemas = std::string(TVBOX_SOURCE_DIR) + "/doc/schemas/tvbox-burn-";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    const char* schema;
    const char* mode;
    int exit_code;
    std::string error;  // the start of "error"'s text; empty: null
  };
  const Case cases[] = {
      // A whole burn takes the box's fixed waits; one whose port is no serial
      // line ends at once, with a box and its failure.
      {"a burn", burn_args({not_a_port}), "run", "burn", 1, ""},
      {"a compare of a blank box", burn_args({port}, {"--compare"}), "run", "compare", 1, ""},
      {"a backup",
       {"--backup", scratch_.file("b.hv"), "--sections", "osd", "--log", logs(), "-p", port},
       "run",
       "backup",
       0,
       ""},
      {"nothing to resume",
       {"--resume", "--log", scratch_.file("none"), "-p", port, chipset_},
       "run",
       "resume",
       2,
       port + ": nothing to resume ("},
      {"a chipset file refused", {"-p", port, cut}, "run", "burn", 2, cut + ": has no OSD"},
      {"a compare refused", {"--compare", "-p", port, missing}, "run", "compare", 2, missing + ": "},
      {"a usage error", {"--bogus", chipset_}, "run", "burn", 2, "unknown option '--bogus'"},
      {"info", {"--info", chipset_}, "info", "info", 0, ""},
      {"info of a file it refuses", {"--info", cut}, "info", "info", 2, cut + ": has no OSD"},
      {"a usage error of --info",
       {"--info", "--flash-delay=2", chipset_},
       "info",
       "info",
       2,
       "--flash-delay"},
      {"a --wait refused", {"--wait", "-p", port + "=SN-1", cut}, "run", "wait", 2, cut + ": has no OSD"},
      {"the ports", {"--list-ports"}, "list-ports", "list-ports", 0, ""},
  };
  std::vector<clitest::SchemaCheck> checks;
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--json");
    Finished run = this->run(args, 60000);
    EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
    const Json object = parse_json(run.out);
    EXPECT_EQ(object["mode"], c.mode);
    if (c.error.empty()) {
      EXPECT_TRUE(object.value("error", Json()).is_null()) << object.dump();
    } else {
      EXPECT_EQ(object["error"]["text"].get<std::string>().rfind(c.error, 0), 0u) << object["error"];
    }
    const std::string instance = scratch_.file("object-" + std::to_string(index++) + ".json");
    ASSERT_TRUE(testsupport::write_file(instance, run.out));
    checks.push_back({schemas + c.schema + ".schema.json", instance});
    if (have_jq && std::string(c.schema) == "run") {
      Finished times = clitest::run_burner(
          {"-e", "(.started | fromdateiso8601) <= (.ended | fromdateiso8601)", instance}, jq, 10000);
      EXPECT_EQ(times.exit_code, 0) << times.out << times.err;
    }
  }
  // --wait's lines, as its loop prints them for a box and at its end.
  tv::WaitedBox waited;
  waited.status.port = port;
  waited.status.state = tv::BoxState::Ok;
  waited.status.verified = true;
  waited.label = "SN-1";
  waited.count = 1;
  waited.started = waited.ended = tv::json_time_now().utc;
  const std::vector<tv::WaitTally> tallies = {{port, "SN-1", 1, 0}};
  for (const std::string& line :
       {tv::wait_box_json(waited), tv::wait_summary_json(tallies, waited.started, waited.ended, 0)}) {
    const std::string instance = scratch_.file("object-" + std::to_string(index++) + ".json");
    ASSERT_TRUE(testsupport::write_file(instance, line));
    checks.push_back({schemas + "wait.schema.json", instance});
  }
  Finished validated = clitest::validate_with_schemas(checks);
  EXPECT_EQ(validated.exit_code, 0) << validated.out << validated.err;
}

}  // namespace
