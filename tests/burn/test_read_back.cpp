// The read-back engine on the window's link against the box simulator: a
// compare checks exactly the bytes a file's records write and names the first
// that differs, and a backup that cannot be finished leaves nothing behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "burn/chipset_file.h"
#include "burn/read_back.h"
#include "burn_test_support.h"
#include "gen/chipset_gen.h"
#include "link/ports.h"
#include "support/box_images.h"
#include "support/simulated_box.h"
#include "support/wait_for.h"

using burntest::RecordingSink;

namespace {

constexpr int kDeadlineMs = 60000;

int hidden_files(const std::string& folder) {
  int count = 0;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] == '.' && std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
        ++count;
    closedir(dir);
  }
  return count;
}

class ReadBack : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    std::string error;
    ASSERT_TRUE(box_.start(&error)) << error;
    ASSERT_EQ(box_.open_programming_port(port_), tv::kOpened);
  }
  void TearDown() override { port_.close(); }

  // Runs `job` on a worker thread, as the window does, until its done().
  void run(RecordingSink& sink, const std::function<void()>& job) {
    std::thread worker(job);
    bool ended = testsupport::wait_for([&] { return !sink.done_calls().empty(); }, kDeadlineMs);
    worker.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(sink.done_calls().size(), 1u);
  }

  testsupport::SimulatedBox box_{"readback"};
  tv::SerialPort port_;  // the programming line, closed before the box stops
  tv::BoxLink link_{port_};
  std::atomic<bool> cancel_{false};
};

TEST_F(ReadBack, ACompareChecksExactlyTheBytesTheRecordsWriteAndNamesTheFirstThatDiffers) {
  const chipsetgen::Options options = testsupport::small_chipset_options();
  const chipsetgen::Generated generated = chipsetgen::generate(options);
  const std::string path = box_.dir().file("chipset.hv.gz");
  ASSERT_TRUE(chipsetgen::write_chipset(path, generated.text, true, nullptr));
  const tv::LoadedChipset chipset = tv::load_chipset(path);

  // What a burn would write, byte for byte, and nothing else.
  const tv::WrittenImage flash = tv::image_to_burn(chipset, tv::Section::Flash);
  const tv::WrittenImage osd = tv::image_to_burn(chipset, tv::Section::Osd);
  EXPECT_EQ(flash.byte_count(), options.flash_bytes);
  EXPECT_EQ(osd.byte_count(), options.osd_bytes);
  for (int address = 0; address < options.flash_bytes; ++address)
    ASSERT_EQ(flash.value(address), generated.images.flash[size_t(address)]) << address;
  for (int address = 0; address < options.osd_bytes; ++address)
    ASSERT_EQ(osd.value(address), generated.images.osd[size_t(address)]) << address;

  boxsim::Memories memories = box_.sim().memories();
  memories.flash = generated.images.flash;
  memories.osd = generated.images.osd;
  box_.sim().set_memories(memories);
  RecordingSink equal;
  run(equal, [&] { tv::run_compare(link_, chipset, tv::CompareSettings(), equal, cancel_); });
  EXPECT_TRUE(equal.done_calls().at(0));
  EXPECT_TRUE(equal.has_line("FLASH matches the file: " + std::to_string(options.flash_bytes) + " bytes\n"));
  EXPECT_TRUE(equal.has_line("OSD matches the file: " + std::to_string(options.osd_bytes) + " bytes\n"));

  // One OSD byte changed, and one just past the file's OSD records, which
  // the compare does not look at.
  memories.osd[0x1F1] = uint8_t(generated.images.osd[0x1F1] ^ 0xFF);
  memories.osd[size_t(options.osd_bytes)] ^= 0xFF;
  box_.sim().set_memories(memories);
  RecordingSink differs;
  run(differs, [&] { tv::run_compare(link_, chipset, tv::CompareSettings(), differs, cancel_); });
  EXPECT_FALSE(differs.done_calls().at(0));
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "OSD differs from the file: 1 byte differs, first at 0x01F1 (file %02X, box %02X)\n",
                generated.images.osd[0x1F1], memories.osd[0x1F1]);
  EXPECT_TRUE(differs.has_line(expected)) << expected;
  EXPECT_EQ(differs.stages(), (std::vector<std::string>{"+1", "ok1", "+2", "failed2"}));
  EXPECT_EQ(differs.progress_values().back(), 0);
}

TEST_F(ReadBack, ABackupThatCannotBeFinishedLeavesNoFileAndWithoutAPortSendsNothing) {
  // The name is taken by a folder: everything is read, then the rename fails.
  const std::string taken = box_.dir().file("taken.hv");
  ASSERT_EQ(mkdir(taken.c_str(), 0755), 0);
  ASSERT_TRUE(testsupport::write_file(taken + "/keep", "x"));
  tv::BackupRequest request;
  request.path = taken;
  request.port = "com3";
  request.osd = false;
  RecordingSink sink;
  run(sink, [&] { tv::run_backup(link_, request, sink, cancel_); });
  EXPECT_FALSE(sink.done_calls().at(0));
  EXPECT_TRUE(sink.has_red_line_containing("Backup failed: cannot rename the finished file to " + taken));
  EXPECT_EQ(hidden_files(box_.dir().path()), 0) << "the temporary file stayed";

  port_.close();
  box_.sim().clear_received();
  request.path = box_.dir().file("never.hv");
  RecordingSink closed;
  run(closed, [&] { tv::run_backup(link_, request, closed, cancel_); });
  EXPECT_FALSE(closed.done_calls().at(0));
  EXPECT_TRUE(closed.has_red_line_containing("The programming port is not open"));
  EXPECT_TRUE(box_.sim().received().empty());
  EXPECT_NE(access(request.path.c_str(), F_OK), 0);
}

}  // namespace
