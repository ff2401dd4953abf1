// Data files found from anywhere: the working folder first, then the installed
// data folder. Only regular files are read, so a pipe under a data file's name
// neither blocks the program nor hides the installed copy (the start-up from
// such a folder is tested with the window).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/pipe_trap.h"
#include "support/temp_dir.h"
#include "text/data_files.h"

namespace {

using testsupport::write_file;

// A working folder and an installed data folder of the test's own.
class DataFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(getcwd(old_cwd_, sizeof old_cwd_));
    ASSERT_EQ(chdir(work_.path().c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(chdir(old_cwd_), 0); }
  std::string installed(const std::string& name) const { return installed_.file(name); }

  testsupport::TempDir work_{"work"};
  testsupport::TempDir installed_{"installed"};
  testsupport::ScopedEnv data_dir_{"TVBOX_DATA_DIR", installed_.path().c_str()};
  char old_cwd_[4096];
};

TEST_F(DataFilesTest, WorkingFolderFirstThenTheInstalledFolderRegularFilesOnly) {
  ASSERT_TRUE(write_file(installed("lang.en"), "m_Title=Installed\n"));
  ASSERT_TRUE(write_file(installed("h_tvbox.cfg"), "[cmd]\n"));
  ASSERT_TRUE(write_file(installed("readme.htm"), "<html></html>\n"));
  ASSERT_TRUE(write_file("h_tvbox.cfg", "[cmd]\nit_0=01\n"));
  ASSERT_TRUE(testsupport::make_pipe("readme.htm"));
  ASSERT_EQ(mkdir("up.gif", 0700), 0);

  EXPECT_EQ(tv::data_folder(), installed_.path());
  EXPECT_EQ(tv::find_data_file("lang.en"), installed("lang.en"));
  EXPECT_EQ(tv::find_data_file("h_tvbox.cfg"), "h_tvbox.cfg");
  EXPECT_EQ(tv::find_data_file("readme.htm"), installed("readme.htm"));  // the pipe is passed over
  EXPECT_EQ(tv::find_data_file("up.gif"), "");                           // a folder, none installed
  EXPECT_EQ(tv::find_data_file(""), "");
  // A path is a path: it is not looked for in the data folder.
  EXPECT_EQ(tv::find_data_file("./lang.en"), "");
  EXPECT_EQ(tv::find_data_file(installed("lang.en")), installed("lang.en"));
}

TEST_F(DataFilesTest, ReadingTakesWholeRegularFilesAndNothingElse) {
  std::string bytes = "left over";
  ASSERT_TRUE(write_file("lang.en", std::string("a=1\n\0b=2\n", 9)));
  EXPECT_TRUE(tv::read_regular_file("lang.en", &bytes, 9));
  EXPECT_EQ(bytes, std::string("a=1\n\0b=2\n", 9));
  EXPECT_FALSE(tv::read_regular_file("lang.en", &bytes, 8));  // larger than allowed
  EXPECT_EQ(bytes, "");
  EXPECT_FALSE(tv::read_regular_file("absent", &bytes, 100));
  EXPECT_FALSE(tv::read_regular_file(work_.path(), &bytes, 100));
  ASSERT_TRUE(testsupport::make_pipe("up.gif"));
  bool read = true;
  EXPECT_TRUE(testsupport::finishes_despite_pipes(
      [&] { read = tv::read_regular_file("up.gif", &bytes, 100); }, {"up.gif"}));
  EXPECT_FALSE(read);
}

}  // namespace
