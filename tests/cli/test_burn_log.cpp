// The saved burn log's own parts: the digest that names the chipset file,
// the pruning of old logs, and a folder that cannot be written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "burn/burn_log_file.h"
#include "burn/console_record.h"
#include "burn/sha256.h"
#include "support/temp_dir.h"

namespace {

// The FIPS 180-4 examples, the empty text, and a message that fills the
// padding block exactly.
TEST(Sha256, KnownVectorsAndTheFileDigestAgree) {
  EXPECT_EQ(tv::sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(tv::sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(tv::sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(tv::sha256_hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  // 55 and 56 bytes: the length still fits the last block, and then it does not.
  EXPECT_EQ(tv::sha256_hex(std::string(55, 'a')),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(tv::sha256_hex(std::string(56, 'a')),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");

  testsupport::TempDir dir("sha");
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += char(i * 7);
  ASSERT_TRUE(testsupport::write_file(dir.file("f.bin"), bytes));
  std::string hex, error;
  int64_t size = 0;
  ASSERT_TRUE(tv::sha256_file(dir.file("f.bin"), &hex, &size, &error)) << error;
  EXPECT_EQ(hex, tv::sha256_hex(bytes));
  EXPECT_EQ(size, int64_t(bytes.size()));
  EXPECT_FALSE(tv::sha256_file(dir.file("missing"), &hex, &size, &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
}

void touch(const std::string& path, std::time_t modified) {
  ASSERT_TRUE(testsupport::write_file(path, "x"));
  utimbuf times{modified, modified};
  ASSERT_EQ(utime(path.c_str(), &times), 0);
}

// Older than 90 days, or beyond the newest 500, goes; a file the program did
// not name stays whatever its age.
TEST(BurnLogPruning, KeepsTheNewestFiveHundredWithinNinetyDaysAndNothingElseIsTouched) {
  testsupport::TempDir dir("prune");
  const std::time_t now = std::time(nullptr);
  for (int i = 0; i < 503; ++i) {
    std::string name = tv::burn_log_file_name(now - 3600 - i * 60, i % 2 ? "com3" : "/dev/ttyUSB0");
    touch(dir.file(name), now - 3600 - i * 60);
  }
  const std::string stale = dir.file("2020-01-01_00-00-00_com3.log");
  touch(stale, now - 91 * 24 * 3600);
  for (const char* foreign : {"notes.log", "2020-01-01_00-00-00_com3.txt", "2020-01-01-00-00-00_com3.log"})
    touch(dir.file(foreign), now - 400 * 24 * 3600);

  EXPECT_EQ(tv::prune_burn_logs(dir.path(), now), 4);
  std::set<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    left.insert(entry.path().filename());
  EXPECT_EQ(left.size(), 503u);
  EXPECT_EQ(left.count("notes.log"), 1u);
  EXPECT_EQ(left.count(tv::burn_log_file_name(now - 3600, "/dev/ttyUSB0")), 1u);
  EXPECT_EQ(left.count(tv::burn_log_file_name(now - 3600 - 502 * 60, "/dev/ttyUSB0")), 0u);
  EXPECT_EQ(left.count("2020-01-01_00-00-00_com3.log"), 0u);

  // The age alone: exactly 90 days old stays, as does ten days; a day more goes.
  testsupport::TempDir aged("prune-age");
  for (int days : {90, 10, 91})
    touch(aged.file(tv::burn_log_file_name(now - days * 24 * 3600, "com5")), now - days * 24 * 3600);
  EXPECT_EQ(tv::prune_burn_logs(aged.path(), now), 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(aged.path()), {}), 2);
  EXPECT_EQ(tv::burn_log_file_name(0, "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0").substr(19),
            "_dev-serial-by-id-usb-FTDI_FT232R-if00-port0.log");

  // The console's records share the folder and its rule, counted apart: a
  // burn log's pruning leaves them, theirs leaves the burn logs.
  testsupport::TempDir shared("prune-shared");
  for (int i = 0; i < 4; ++i) {
    touch(shared.file(tv::console_record_name(now - i * 60, "com3")), now - i * 60);
    touch(shared.file(tv::burn_log_file_name(now - i * 60, "com3")), now - i * 60);
  }
  touch(shared.file(tv::console_record_name(now - 91 * 24 * 3600, "/dev/ttyUSB0")), now - 91 * 24 * 3600);
  touch(shared.file("console-notes.txt"), now - 400 * 24 * 3600);
  EXPECT_EQ(tv::prune_burn_logs(shared.path(), now, 90, 3), 1);
  EXPECT_EQ(tv::prune_console_records(shared.path(), now, tv::LogKeeping{2, 90}), 3);
  EXPECT_TRUE(std::filesystem::exists(shared.file(tv::console_record_name(now - 60, "com3"))));
  EXPECT_FALSE(std::filesystem::exists(shared.file(tv::console_record_name(now - 120, "com3"))));
  EXPECT_TRUE(std::filesystem::exists(shared.file("console-notes.txt")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(shared.path()), {}), 6);
  EXPECT_EQ(tv::console_record_name(0, "/dev/ttyUSB0").substr(0, 8), "console-");
  EXPECT_EQ(tv::console_record_name(0, "/dev/ttyUSB0").substr(26), "dev-ttyUSB0.txt");
}

class Recording : public tv::BurnSink {
 public:
  void log(const std::string& text, int) override { lines.push_back(text); }
  void progress(int) override {}
  void done(bool ok) override { ended.push_back(ok); }
  std::vector<std::string> lines;
  std::vector<bool> ended;
};

TEST(BurnLogFile, AFolderThatCannotBeWrittenLeavesTheBurnAloneAndTwoBurnsInOneSecondGetTwoFiles) {
  testsupport::TempDir dir("logfile");
  ASSERT_TRUE(testsupport::write_file(dir.file("plain"), "a file, not a folder"));
  Recording next;
  {
    tv::BurnLogFile tee(next);
    std::string error;
    EXPECT_FALSE(tee.open(dir.file("plain") + "/logs", tv::BurnLogHeader{}, &error));
    EXPECT_NE(error.find("plain"), std::string::npos) << error;
    tee.set_saved_line([](const std::string& path) { return "saved " + path + "\n"; }, tv::kStyleBlue);
    tee.log("FLASH Burned OK!\n", tv::kStyleBoldBlue);
    tee.done(true);
  }
  EXPECT_EQ(next.lines, std::vector<std::string>{"FLASH Burned OK!\n"});
  EXPECT_EQ(next.ended, std::vector<bool>{true});

  tv::BurnLogHeader header;
  header.port = "com3";
  tv::BurnLogFile first(next), second(next);
  std::string error;
  ASSERT_TRUE(first.open(dir.file("logs"), header, &error)) << error;
  ASSERT_TRUE(second.open(dir.file("logs"), header, &error)) << error;
  EXPECT_NE(first.path(), second.path());
  first.log("FLASH: the box stopped answering at 0x1230\n", tv::kStyleBoldRed);
  first.done(false);
  std::ifstream in(first.path());
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("error   FLASH: the box stopped answering at 0x1230"), std::string::npos) << text;
  EXPECT_NE(text.find("Failures:\n  FLASH: the box stopped answering at 0x1230\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Outcome:  FAILED"), std::string::npos) << text;
}

}  // namespace
