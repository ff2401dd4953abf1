// tvbox-burn on a line that is merely bad, not dead: every packet would get
// through in the end, so without a bound a burn, a compare or a backup would
// run for hours. Each must end within its bound, naming the line (exit 1,
// failure kind "poor line"), and a burn cut short that way must be finished
// by --resume once the line is good.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "boxsim/box_sim.h"
#include "burner_process.h"
#include "gen/chipset_gen.h"
#include "support/box_images.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"

namespace {

using clitest::Finished;
using Json = nlohmann::json;

constexpr int kDeadlineMs = 300000;

class PoorLine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(clitest::burner_program().c_str(), X_OK) != 0) GTEST_SKIP() << "tvbox-burn is not built";
    generated_ = chipsetgen::generate(testsupport::small_chipset_options());
    std::string error;
    ASSERT_TRUE(chipsetgen::write_chipset(chipset_, generated_.text, false, &error)) << error;
  }

  Finished run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--json", "--log", logs_, "-p", "com3"});
    clitest::Launch launch;
    launch.env = {"HOME=" + scratch_.file("home")};  // no window settings of the user's
    return clitest::run_burner(args, launch, kDeadlineMs);
  }

  testsupport::TempDir scratch_{"poor-line"};
  chipsetgen::Generated generated_;
  std::string chipset_ = scratch_.file("firmware.hv");
  std::string logs_ = scratch_.file("logs");
};

TEST_F(PoorLine, EveryJobEndsNamingTheLineAndTheBurnIsResumedOnceTheLineIsGood) {
  struct Job {
    const char* name;
    std::vector<std::string> args;
  };
  const std::string backup = scratch_.file("box.hv");
  const Job compare{"compare", {"--compare", chipset_}}, take_backup{"backup", {"--backup", backup}},
      burn{"burn with verify", {"--verify", "--sysfont", chipset_}};
  // Each read mode on one of the lines (a mis-echoed read costs a whole
  // recovery step, so the two together would only repeat each other slowly).
  struct Line {
    const char* name;
    int refuse_first, drop_every;
    std::vector<Job> jobs;
  };
  const Line lines[] = {{"every packet mis-echoed once", 1, 0, {compare, burn}},
                        {"a byte in fifty lost", 0, 50, {compare, take_backup, burn}}};
  for (const Line& line : lines) {
    SCOPED_TRACE(line.name);
    testsupport::SimulatedBox box{"poor-line-box"};
    boxsim::Faults faults;
    faults.refuse_first = line.refuse_first;
    faults.drop_every = line.drop_every;
    box.sim().set_faults(faults);
    std::string error;
    ASSERT_TRUE(box.start(&error)) << error;
    for (const Job& job : line.jobs) {
      SCOPED_TRACE(job.name);
      Finished ended = run(job.args);
      ASSERT_FALSE(ended.timed_out);
      EXPECT_EQ(ended.exit_code, 1) << ended.err;
      const Json json = Json::parse(ended.out, nullptr, false);
      ASSERT_FALSE(json.is_discarded()) << ended.out;
      const Json& failure = json["boxes"][0]["failure"];
      EXPECT_EQ(failure["kind"], "poor line") << ended.out;
      EXPECT_NE(failure["text"].get<std::string>().find("check the cable and the adapter"), std::string::npos)
          << ended.out;
    }
    EXPECT_FALSE(std::filesystem::exists(backup)) << "a backup cut short leaves no file";

    box.sim().set_faults(boxsim::Faults());
    Finished resumed = run({"--resume", chipset_});
    EXPECT_EQ(resumed.exit_code, 0) << resumed.out << resumed.err;
    EXPECT_TRUE(testsupport::box_holds(box.sim().memories(), generated_.images));
  }
}

}  // namespace
