// The shared scratch-folder and simulated-box helpers: a run must leave no
// folder behind, put the environment back as it found it, and let go of the
// programming port when a fixture ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/trace.h"
#include "link/ports.h"
#include "support/box_images.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"

namespace {

bool exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::string env_or(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

TEST(TempDir, FreshFolderWithItsTagGoesAwayWithEverythingInIt) {
  std::string kept;
  {
    testsupport::TempDir first("helper-check");
    testsupport::TempDir second("helper-check");
    kept = first.path();
    EXPECT_NE(first.path(), second.path());
    EXPECT_EQ(kept.rfind("/tmp/tvbox-helper-check-", 0), 0u) << kept;
    EXPECT_EQ(first.file("a.txt"), kept + "/a.txt");
    std::filesystem::create_directories(first.file("deep/er"));
    ASSERT_TRUE(testsupport::write_file(first.file("deep/er/x.bin"), std::string("\0\xff", 2)));
    std::ifstream in(first.file("deep/er/x.bin"), std::ios::binary);
    std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(back, std::string("\0\xff", 2));
  }
  EXPECT_FALSE(exists(kept));
}

TEST(TempDir, WriteFileReportsAFileItCannotWrite) {
  testsupport::TempDir dir("helper-check");
  EXPECT_FALSE(testsupport::write_file(dir.file("no/such/folder/x"), "text"));
  EXPECT_FALSE(testsupport::write_file(dir.path(), "a folder is not a file"));
}

TEST(ScopedEnv, PutsBackTheOldValueOrTheAbsence) {
  setenv("TVBOX_HELPER_CHECK", "before", 1);
  {
    testsupport::ScopedEnv changed("TVBOX_HELPER_CHECK", "during");
    EXPECT_EQ(env_or("TVBOX_HELPER_CHECK", "unset"), "during");
    {
      testsupport::ScopedEnv removed("TVBOX_HELPER_CHECK", nullptr);
      EXPECT_EQ(env_or("TVBOX_HELPER_CHECK", "unset"), "unset");
    }
    EXPECT_EQ(env_or("TVBOX_HELPER_CHECK", "unset"), "during");
  }
  EXPECT_EQ(env_or("TVBOX_HELPER_CHECK", "unset"), "before");
  unsetenv("TVBOX_HELPER_CHECK");
  { testsupport::ScopedEnv added("TVBOX_HELPER_CHECK", "x"); }
  EXPECT_EQ(env_or("TVBOX_HELPER_CHECK", "unset"), "unset");
}

TEST(SimulatedBox, ServesTheProgrammingPortAndCleansUpAfterItself) {
  tv::set_trace_enabled(false);
  testsupport::ScopedEnv outer("TVBOX_PORT_DIR", "/somewhere/else");
  std::string folder;
  {
    testsupport::SimulatedBox box("helper-check");
    folder = box.dir().path();
    EXPECT_EQ(env_or("TVBOX_PORT_DIR", ""), folder);
    std::string error;
    ASSERT_TRUE(box.start(&error)) << error;
    EXPECT_TRUE(exists(box.dir().file("com3")));
    EXPECT_TRUE(exists(box.dir().file("com5")));
    tv::SerialPort port;
    ASSERT_EQ(box.open_programming_port(port), 0);
    EXPECT_TRUE(port.is_open());
  }
  EXPECT_EQ(env_or("TVBOX_PORT_DIR", ""), "/somewhere/else");
  EXPECT_FALSE(exists(folder));
}

TEST(SimulatedBox, TakesOtherPortNames) {
  testsupport::SimulatedBox box("helper-check");
  std::string error;
  ASSERT_TRUE(box.start(&error, "com4", "com6")) << error;
  EXPECT_TRUE(exists(box.dir().file("com4")));
  EXPECT_TRUE(exists(box.dir().file("com6")));
  EXPECT_FALSE(exists(box.dir().file("com3")));
  tv::SerialPort port;
  EXPECT_NE(box.open_programming_port(port), 0);  // no box on com3
}

TEST(BoxHolds, NamesEachMemoryThatDiffersFromItsImage) {
  chipsetgen::Images images;
  boxsim::Memories memories;
  memories.pic.assign(images.pic.begin(), images.pic.end());
  memories.flash.assign(images.flash.begin(), images.flash.end());
  memories.osd.assign(images.osd.begin(), images.osd.end());
  memories.font.assign(images.font.begin(), images.font.end());
  EXPECT_TRUE(testsupport::box_holds(memories, images));

  memories.font[7] ^= 1;
  memories.pic.pop_back();
  ::testing::AssertionResult result = testsupport::box_holds(memories, images);
  EXPECT_FALSE(result);
  EXPECT_STREQ(result.message(), "box memory differs: PIC font");
}

}  // namespace
