// tvbox-burn --resume as a user runs it: a burn whose line is lost in the
// middle of the flash, then --resume into the same box (a second simulator
// started from the first one's memory images on the same port) must leave the
// box exactly as a whole burn does, sending no PIC record and erasing only
// the sector that was being written and the later ones. Without a matching
// log there is nothing to resume: exit 2 and not one byte sent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "base/clock.h"
#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "burner_process.h"
#include "gen/chipset_gen.h"
#include "link/ports.h"
#include "support/box_images.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using clitest::Finished;
using Json = nlohmann::json;

constexpr int kBurnDeadlineMs = 180000;
constexpr int kFlashSectors = 4;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class ResumeCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(clitest::burner_program().c_str(), X_OK) != 0) GTEST_SKIP() << "tvbox-burn is not built";
    chipsetgen::Options options = testsupport::small_chipset_options();
    options.flash_bytes = kFlashSectors * 4096;
    ASSERT_TRUE(chipsetgen::write_chipset(chipset_, chipsetgen::generate(options).text, false, nullptr));
    options.seed = 12;
    ASSERT_TRUE(chipsetgen::write_chipset(other_, chipsetgen::generate(options).text, false, nullptr));
    old_.old_contents = true;
  }

  // What a whole burn of the chipset's sections (no system font, as
  // tvbox-burn burns by default) leaves in a box that held old firmware.
  boxsim::Memories whole_burn() { return whole_burn(old_); }
  boxsim::Memories whole_burn(const boxsim::Faults& start) {
    tv::set_trace_enabled(false);
    tv::set_pause_scale_percent(1);
    boxsim::BoxSimulator sim;
    sim.set_faults(start);
    std::string error;
    EXPECT_TRUE(sim.start(scratch_.file("reference-" + std::to_string(++references_)), &error)) << error;
    tv::SerialPort port;
    EXPECT_EQ(tv::open_com(port, sim.programming_path()), tv::kOpened);
    tv::BoxLink link(port);
    tv::LoadedChipset chipset = tv::load_chipset(chipset_);
    tv::BurnSettings settings;
    settings.flash_delay = 0;
    settings.stage_checked = [](tv::Section stage) { return stage != tv::Section::OsdSysFont; };
    struct Done : tv::BurnSink {
      std::atomic<int> ok{-1};
      void log(const std::string&, int) override {}
      void progress(int) override {}
      void done(bool well) override { ok = well; }
    } sink;
    std::atomic<bool> cancel{false};
    tv::run_burn(link, chipset, settings, sink, cancel);
    EXPECT_EQ(sink.ok, 1);
    port.close();
    tv::set_pause_scale_percent(100);
    return sim.memories();
  }

  // tvbox-burn without the window settings of the user who runs the tests.
  Finished burner(const std::vector<std::string>& arguments, int deadline_ms) {
    clitest::Launch launch;
    launch.env = {"HOME=" + scratch_.file("home")};
    return clitest::run_burner(arguments, launch, deadline_ms);
  }

  std::vector<std::string> args(const std::string& logs, const std::string& file,
                                std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"--log", logs, "-p", "com3", file});
    return extra;
  }

  testsupport::TempDir scratch_{"cli-resume"};
  // Both simulators serve "com3" in this folder, one after the other.
  testsupport::ScopedEnv port_dir_{"TVBOX_PORT_DIR", scratch_.file("ports").c_str()};
  std::string chipset_ = scratch_.file("firmware.hv");
  std::string other_ = scratch_.file("other.hv");
  std::string logs_ = scratch_.file("logs");
  boxsim::Faults old_;
  int references_ = 0;
};

TEST_F(ResumeCommand, ALineLostMidFlashIsResumedExactlyAndWithoutALogThereIsNothingToResume) {
  const boxsim::Memories expected = whole_burn();
  std::filesystem::create_directories(scratch_.file("ports"));
  {
    boxsim::BoxSimulator first;
    boxsim::Faults faults = old_;
    faults.vanish_after_flash_writes = 600;  // in the third sector
    first.set_faults(faults);
    std::string error;
    ASSERT_TRUE(first.start(scratch_.file("ports"), &error)) << error;
    Finished run = burner(args(logs_, chipset_), kBurnDeadlineMs);
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
    ASSERT_TRUE(first.write_images(scratch_.file("images")));
  }
  boxsim::BoxSimulator second;
  boxsim::Memories left;
  std::string error;
  ASSERT_TRUE(boxsim::read_memory_images(scratch_.file("images"), &left, &error)) << error;
  second.set_memories(left);
  ASSERT_TRUE(second.start(scratch_.file("ports"), &error)) << error;

  // The newest log of com3 is of another file, or there is none at all.
  struct Refused {
    const char* name;
    std::string logs, file;
  };
  const Refused refused[] = {{"another file", logs_, other_}, {"no log", scratch_.file("no-logs"), chipset_}};
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.name);
    Finished run = burner(args(r.logs, r.file, {"--resume", "--json"}), kBurnDeadlineMs);
    EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
    EXPECT_NE(run.err.find("com3: nothing to resume"), std::string::npos) << run.err;
    const Json summary = Json::parse(run.out, nullptr, false);
    EXPECT_EQ(summary["error"]["text"].get<std::string>().rfind("com3: nothing to resume (", 0), 0u)
        << run.out;
    EXPECT_TRUE(second.received().empty());
  }

  Finished run = burner(args(logs_, chipset_, {"--resume", "--verify"}), kBurnDeadlineMs);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  const boxsim::Stats stats = second.stats();
  EXPECT_EQ(stats.pic_records, 0u);
  EXPECT_EQ(stats.sector_erases, 2u);
  const boxsim::Memories held = second.memories();
  EXPECT_TRUE(held.flash == expected.flash && held.osd == expected.osd && held.font == expected.font &&
              held.pic == expected.pic);
  // Its own log names the log it continued.
  const size_t at = run.out.find("log com3: ");
  ASSERT_NE(at, std::string::npos) << run.out;
  const std::string log = read_file(run.out.substr(at + 10, run.out.find('\n', at) - at - 10));
  EXPECT_NE(log.find("Resumes:  " + logs_ + "/"), std::string::npos) << log;
  EXPECT_NE(log.find("Outcome:  OK"), std::string::npos) << log;
  // --verify read back every address of the flash, the sectors left alone too.
  EXPECT_NE(log.find("FLASH verified: 16384 bytes"), std::string::npos) << log;
}

// The log names a port, not a box. A resume into another box on that port
// (a fresh one, or one with old firmware) must not end "OK" with no PIC
// program and blank or old first sectors: it reads back a sample of what the
// failed burn finished, writes nothing when it differs (exit 2), and leaves a
// log that no later resume can take a finished stage from: the next one burns
// the box whole, exactly.
TEST_F(ResumeCommand, AResumeIntoAnotherBoxWritesNothingAndTheNextResumeBurnsItWhole) {
  std::filesystem::create_directories(scratch_.file("ports"));
  {
    boxsim::BoxSimulator first;
    boxsim::Faults faults = old_;
    faults.vanish_after_flash_writes = kFlashSectors * 4096 / 16 * 3 / 4;
    first.set_faults(faults);
    std::string error;
    ASSERT_TRUE(first.start(scratch_.file("ports"), &error)) << error;
    Finished run = burner(args(logs_, chipset_), kBurnDeadlineMs);
    ASSERT_EQ(run.exit_code, 1) << run.out << run.err;
  }
  std::vector<std::filesystem::path> failed_log(std::filesystem::directory_iterator(logs_), {});
  ASSERT_EQ(failed_log.size(), 1u);
  boxsim::Faults fresh;
  struct Box {
    const char* name;
    boxsim::Faults start;
    std::vector<std::string> options;
    bool then_resume_again;
  };
  const Box boxes[] = {{"a fresh box", fresh, {"--resume"}, true},
                       {"a box with old firmware", old_, {"--resume"}, true},
                       {"a fresh box, --no-verify", fresh, {"--resume", "--no-verify", "--json"}, false},
                       {"a box with old firmware, --no-verify", old_, {"--resume", "--no-verify"}, false}};
  for (const Box& box : boxes) {
    SCOPED_TRACE(box.name);
    const std::string logs = scratch_.file(std::string("logs-") + box.name);
    std::filesystem::create_directories(logs);
    std::filesystem::copy_file(failed_log.front(), logs + "/" + failed_log.front().filename().string());
    boxsim::BoxSimulator other;
    other.set_faults(box.start);
    std::string error;
    ASSERT_TRUE(other.start(scratch_.file("ports"), &error)) << error;
    const boxsim::Memories before = other.memories();

    Finished refused = burner(args(logs, chipset_, box.options), kBurnDeadlineMs);
    EXPECT_EQ(refused.exit_code, 2) << refused.out << refused.err;
    EXPECT_NE(refused.out.find("this box does not hold what the burn of 20"), std::string::npos)
        << refused.out;
    EXPECT_NE(refused.out.find("wrote to com3; burn it whole"), std::string::npos) << refused.out;
    if (box.options.back() == "--json") {
      // The script's reason: the port and why nothing was written to it.
      const std::string error = Json::parse(refused.out, nullptr, false)["error"]["text"];
      EXPECT_EQ(error.rfind("com3: this box does not hold what the burn of 20", 0), 0u) << error;
    }
    EXPECT_TRUE(testsupport::only_reads(other.received()));
    const boxsim::Memories after = other.memories();
    EXPECT_TRUE(after.flash == before.flash && after.pic == before.pic && after.osd == before.osd);

    if (!box.then_resume_again) continue;
    other.clear_received();
    Finished whole = burner(args(logs, chipset_, box.options), kBurnDeadlineMs);
    EXPECT_EQ(whole.exit_code, 0) << whole.out << whole.err;
    EXPECT_GT(other.stats().pic_records, 0u);
    const boxsim::Memories held = other.memories(), expected = whole_burn(box.start);
    EXPECT_TRUE(held.flash == expected.flash && held.osd == expected.osd && held.font == expected.font &&
                held.pic == expected.pic);
  }
}

}  // namespace
