// A finished burn means the box holds exactly the loaded file, or the burn
// fails saying why: against the simulator with a file cut under the burn, a
// box that already holds other firmware, refused OSD clears, a box that falls
// silent, a cancel, a damaged file, files no generator writes, and the
// read-back of Verify, which compares the box with the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <thread>

#include "base/clock.h"
#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "burn_test_support.h"
#include "gen/chipset_gen.h"
#include "link/ports.h"
#include "support/box_images.h"
#include "support/simulated_box.h"
#include "support/wait_for.h"

using burntest::RecordingSink;

namespace {

constexpr int kBurnDeadlineMs = 240000;
const std::string kFourZ = "ZZZZ       \r";

class BurnIntegrity : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    tv::set_pause_scale_percent(1);
    std::string error;
    ASSERT_TRUE(box_.start(&error)) << error;
    ASSERT_EQ(box_.open_programming_port(port_), tv::kOpened);
    settings_.flash_delay = 0;
    settings_.sysfont_delay = 0;
  }
  void TearDown() override { tv::set_pause_scale_percent(100); }

  std::string write(const std::string& text, const char* name = "chipset.hv", bool gzip = false) {
    std::string path = box_.dir().file(name);
    std::string error;
    EXPECT_TRUE(chipsetgen::write_chipset(path, text, gzip, &error)) << error;
    return path;
  }

  tv::LoadedChipset generate_and_load(int flash_sectors = 2) {
    chipsetgen::Options options = testsupport::small_chipset_options();
    options.flash_bytes = flash_sectors * 4096;
    generated_ = chipsetgen::generate(options);
    return tv::load_chipset(write(generated_.text));
  }

  // Starts the burn on a worker; finish() waits for its end.
  void start(const tv::LoadedChipset& chipset) {
    worker_ = std::thread([this, &chipset] { tv::run_burn(link_, chipset, settings_, sink_, cancel_); });
  }
  void finish() {
    bool ended = testsupport::wait_for([&] { return !sink_.done_calls().empty(); }, kBurnDeadlineMs);
    worker_.join();
    ASSERT_TRUE(ended);
  }
  void burn(const tv::LoadedChipset& chipset) {
    start(chipset);
    finish();
  }

  void only(std::vector<tv::Section> stages) {
    settings_.stage_checked = [stages](tv::Section stage) {
      return std::find(stages.begin(), stages.end(), stage) != stages.end();
    };
  }

  bool flash_matches(size_t bytes) {
    boxsim::Memories memories = sim_.memories();
    return std::equal(memories.flash.begin(), memories.flash.begin() + long(bytes),
                      generated_.images.flash.begin());
  }

  int four_z_lines() { return burntest::count_of(sim_.received(), kFourZ); }

  testsupport::SimulatedBox box_{"integrity"};
  tv::SerialPort port_;  // the programming line, closed before the box stops
  tv::BoxLink link_{port_};
  boxsim::BoxSimulator& sim_ = box_.sim();
  chipsetgen::Generated generated_;
  tv::BurnSettings settings_;
  RecordingSink sink_;
  std::atomic<bool> cancel_{false};
  std::thread worker_;
};

}  // namespace

// The file cut to 300 lines while the flash is written: the burn goes on with
// what the load read, and the box ends up holding all of it.
TEST_F(BurnIntegrity, AFileCutDuringTheBurnDoesNotChangeWhatIsBurned) {
  tv::LoadedChipset chipset = generate_and_load();
  start(chipset);
  ASSERT_TRUE(testsupport::wait_for([&] { return sink_.has_line("Burning FLASH...\n"); }, kBurnDeadlineMs));
  size_t at = 0;
  for (int line = 0; line < 300; ++line) at = generated_.text.find('\n', at) + 1;
  std::ofstream(chipset.path, std::ios::binary | std::ios::trunc) << generated_.text.substr(0, at);
  finish();
  EXPECT_EQ(sink_.done_calls(), std::vector<bool>{true});
  EXPECT_TRUE(sink_.has_line("OSD SysFont Burned OK!\n"));
  EXPECT_TRUE(testsupport::box_holds(sim_.memories(), generated_.images));
}

// A box that already holds other firmware, and a FLASH section whose records
// step down through three sectors: each sector is erased once, before its
// first write, and the flash holds exactly the file.
TEST_F(BurnIntegrity, SectorsInDescendingOrderAreEachErasedBeforeTheirFirstWrite) {
  chipsetgen::Options options = testsupport::small_chipset_options();
  options.flash_bytes = 3 * 4096;
  generated_ = chipsetgen::generate(options);
  std::string text = generated_.text;
  size_t begin = text.find("***FLASH>");
  begin = text.find('\n', begin) + 1;
  size_t end = text.find(":00000001FF", begin);
  std::vector<std::string> records;
  for (size_t at = begin; at < end; at = text.find('\n', at) + 1)
    records.push_back(text.substr(at, text.find('\n', at) + 1 - at));
  std::reverse(records.begin(), records.end());
  std::string reversed;
  for (const std::string& record : records) reversed += record;
  text.replace(begin, end - begin, reversed);

  boxsim::Faults faults;
  faults.old_contents = true;
  sim_.set_faults(faults);
  only({tv::Section::Flash});
  burn(tv::load_chipset(write(text)));
  EXPECT_EQ(sink_.done_calls(), std::vector<bool>{true});
  EXPECT_TRUE(flash_matches(3 * 4096));
  EXPECT_EQ(sim_.stats().sector_erases, 3u);
}

// A clear the box refuses once is asked again; one it refuses for ever fails
// the OSD stage in red instead of writing over the old OSD bytes.
TEST_F(BurnIntegrity, ARefusedOsdClearIsRetriedAndOneRefusedForEverFailsTheBurn) {
  boxsim::Faults faults;
  faults.old_contents = true;
  faults.refuse_osd_clears = 1;
  sim_.set_faults(faults);
  only({tv::Section::Osd});
  tv::LoadedChipset chipset = generate_and_load();
  burn(chipset);
  EXPECT_EQ(sink_.done_calls(), std::vector<bool>{true});
  EXPECT_EQ(sim_.memories().osd, generated_.images.osd);
  EXPECT_EQ(sim_.stats().osd_clears, 1u);
  EXPECT_GE(sink_.retries, 1);

  faults.refuse_osd_clears = -1;
  sim_.set_faults(faults);
  RecordingSink refused;
  std::thread worker([&] { tv::run_burn(link_, chipset, settings_, refused, cancel_); });
  worker.join();
  EXPECT_EQ(refused.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(refused.has_red_line_containing("OSD: the clear of the OSD memory was refused 10 times."));
  EXPECT_EQ(refused.lines().back().text, "Burning failed: OSD.\n");
  EXPECT_FALSE(refused.has_line("OSD Burned OK!\n"));
  EXPECT_EQ(sim_.stats().osd_clears, 1u);
}

// Falling silent mid-flash, at the protocol's own pace: the burn ends within
// 20 s of the stage's start, names where, leaves the later stages untried and
// still closes the loader.
TEST_F(BurnIntegrity, ABoxFallingSilentMidFlashEndsTheBurnWithinTwentySeconds) {
  tv::set_pause_scale_percent(100);
  boxsim::Faults faults;
  faults.silent_after_flash_writes = 40;
  sim_.set_faults(faults);
  tv::LoadedChipset chipset = generate_and_load();
  start(chipset);
  ASSERT_TRUE(testsupport::wait_for([&] { return sink_.has_line("Burning FLASH...\n"); }, kBurnDeadlineMs));
  const int64_t flash_began = tv::monotonic_ms();
  finish();
  EXPECT_LT(tv::monotonic_ms() - flash_began, 20000);
  EXPECT_EQ(sink_.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(sink_.has_red_line_containing("The box stopped answering at FLASH 0280."));
  EXPECT_EQ(sink_.lines().back().text, "Burning failed: FLASH.\n");
  EXPECT_FALSE(sink_.has_line("Burning OSD...\n"));
  EXPECT_EQ(sink_.line_lost_calls, 0);
  EXPECT_TRUE(testsupport::wait_for([&] { return four_z_lines() == 2; }, 5000));
}

// A vanished line fails at once, says so, and sends nothing more.
TEST_F(BurnIntegrity, AVanishedLineEndsTheBurnAtOnceAsALostLine) {
  tv::LoadedChipset chipset = generate_and_load();
  boxsim::Faults faults;
  faults.vanish_after = (chipset.pic_adr_l - chipset.pic_adr_f + 7) / 8 + 20;
  sim_.set_faults(faults);
  const int64_t began = tv::monotonic_ms();
  burn(chipset);
  EXPECT_LT(tv::monotonic_ms() - began, 15000);
  EXPECT_EQ(sink_.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(sink_.has_red_line_containing("FLASH: the line to the box was lost at "));
  EXPECT_EQ(sink_.line_lost_calls, 1);
  EXPECT_EQ(sink_.retries, 0);
  EXPECT_EQ(sink_.stages(), (std::vector<std::string>{"+0", "ok0", "+1", "failed1"}));
}

// The window cancels by setting the flag and abandoning the port's waits:
// the burn stops at the next packet, and the box still gets its four-Z line.
// A system font that fails does the same.
TEST_F(BurnIntegrity, ACancelledOrFailedBurnStillClosesTheLoader) {
  tv::LoadedChipset chipset = generate_and_load();
  start(chipset);
  ASSERT_TRUE(testsupport::wait_for([&] { return sink_.has_line("Burning FLASH...\n"); }, kBurnDeadlineMs));
  cancel_ = true;
  port_.abandon_waits(true);
  finish();
  port_.abandon_waits(false);
  EXPECT_EQ(sink_.lines().back().text, "Burning cancelled.\n");
  EXPECT_TRUE(testsupport::wait_for([&] { return four_z_lines() == 2; }, 5000));

  cancel_ = false;
  boxsim::Faults faults;
  faults.refuse_first = 1000;  // every font page clear refused
  sim_.set_faults(faults);
  RecordingSink font;
  tv::run_system_font_burn(link_, chipset, settings_, font, cancel_);
  EXPECT_EQ(font.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(testsupport::wait_for([&] { return four_z_lines() == 3; }, 5000));
}

// A damaged gzip file is refused by the burn with nothing sent.
TEST_F(BurnIntegrity, ADamagedFileIsNotBurned) {
  generated_ = chipsetgen::generate(testsupport::small_chipset_options());
  std::string path = write(generated_.text, "chipset.hv.gz", true);
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() * 95 / 100);
  tv::LoadedChipset chipset = tv::load_chipset(path);
  EXPECT_GT(chipset.load_errors, 0);
  burn(chipset);
  EXPECT_EQ(sink_.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(sink_.has_red_line_containing("cannot be burned"));
  EXPECT_TRUE(sim_.received().empty());
}

// Verify reads every written byte back: a good box passes, a box that stores
// one flash byte wrong while echoing every write fails with its address, and
// without Verify that box passes as it always did.
TEST_F(BurnIntegrity, VerifyFindsTheOneFlashByteTheBoxStoredWrong) {
  only({tv::Section::Flash, tv::Section::Osd});
  settings_.verify = true;
  tv::LoadedChipset chipset = generate_and_load();
  burn(chipset);
  EXPECT_EQ(sink_.done_calls(), std::vector<bool>{true});
  EXPECT_TRUE(sink_.has_line("FLASH verified: 8192 bytes\n"));
  EXPECT_TRUE(sink_.has_line("OSD verified: 512 bytes\n"));
  EXPECT_EQ(sink_.lines()[0].style, tv::kStyleBold);  // the PIC and the fonts are not read back

  boxsim::Faults faults;
  faults.wrong_flash_byte = 0x1234;
  sim_.set_faults(faults);
  RecordingSink wrong;
  tv::run_burn(link_, chipset, settings_, wrong, cancel_);
  EXPECT_EQ(wrong.done_calls(), std::vector<bool>{false});
  char expected[128];
  const uint8_t wrote = generated_.images.flash[0x1234];
  std::snprintf(expected, sizeof expected,
                "FLASH verify failed: 1 byte differs, first at 0x1234 (file %02X, box %02X)\n", wrote,
                wrote ^ 1);
  EXPECT_TRUE(wrong.has_red_line_containing(expected)) << expected;
  EXPECT_FALSE(wrong.has_line("FLASH Burned OK!\n"));

  // The writer never sent one record (its line left out of what it is fed):
  // the box cannot hold it, and Verify, comparing with the file, says so.
  faults.wrong_flash_byte = -1;
  sim_.set_faults(faults);
  auto skipped = std::make_shared<tv::ChipsetSections>();
  const tv::SectionText& flash = *chipset.sections->of(tv::Section::Flash);
  for (size_t i = 0; i < flash.line_count(); ++i)
    if (i != 5) skipped->of(tv::Section::Flash)->add_line(flash.line(i));
  *skipped->image_of(tv::Section::Flash) = *chipset.sections->image_of(tv::Section::Flash);
  tv::LoadedChipset skipping = chipset;
  skipping.sections = skipped;
  only({tv::Section::Flash});
  RecordingSink unwritten;
  tv::run_burn(link_, skipping, settings_, unwritten, cancel_);
  EXPECT_EQ(unwritten.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(unwritten.has_red_line_containing(
      "FLASH verify failed: 16 bytes of the file not written, first at 0x0040"));

  faults.wrong_flash_byte = 0x1234;
  sim_.set_faults(faults);
  settings_.verify = false;
  RecordingSink unverified;
  tv::run_burn(link_, chipset, settings_, unverified, cancel_);
  EXPECT_EQ(unverified.done_calls(), std::vector<bool>{true});
  EXPECT_FALSE(flash_matches(2 * 4096));
}

namespace {

// The generated file as lines without their line ends, and back.
std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

size_t index_of(const std::vector<std::string>& lines, const std::string& start, size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].compare(0, start.size(), start) == 0) return i;
  return lines.size();
}

// The FLASH section moved to the end of the file without its end record, its
// last record without a line end.
void flash_last_without_line_end(std::vector<std::string>& lines, std::string* ending) {
  size_t begin = index_of(lines, "***FLASH>"), end = index_of(lines, ":00000001FF", begin);
  std::vector<std::string> flash(lines.begin() + long(begin), lines.begin() + long(end));
  lines.erase(lines.begin() + long(begin), lines.begin() + long(end) + 1);
  lines.insert(lines.end(), flash.begin(), flash.end());
  *ending = "";
}

struct FileCase {
  const char* what;
  std::function<void(std::vector<std::string>& lines, std::string* ending)> edit;
  int refused_line;  // the line the load names; 0: the file burns
  bool gzip = false;
};

}  // namespace

// Files no generator would write: each either burns so that the flash and the
// OSD memory hold every record of the file (compared with the file, not with
// what the writer sent), or is refused naming its line, with nothing sent.
TEST_F(BurnIntegrity, EveryRecordOfTheFileIsBurnedOrTheFileIsRefusedNamingItsLine) {
  // Line numbers are 1-based; in the generated file line 17 is the FLASH
  // section's first data record and line 311 the first line of its font.
  const std::vector<FileCase> cases = {
      {"NUL after a record", [](auto& l, auto*) { l[19] += '\0'; }, 20},
      {"NUL before the colon", [](auto& l, auto*) { l[20].insert(0, 1, '\0'); }, 21},
      {"NUL in a font row", [](auto& l, auto*) { l[315][3] = '\0'; }, 316},
      {"records after an end record", [](auto& l, auto*) { l.insert(l.begin() + 99, ":00000001FF"); }, 101},
      {"records after an unknown marker", [](auto& l, auto*) { l.insert(l.begin() + 99, "***NOTES>"); }, 101},
      {"font rows after an unknown marker", [](auto& l, auto*) { l.insert(l.begin() + 319, "***NOTES>"); },
       321},
      {"a record one digit short", [](auto& l, auto*) { l[40].pop_back(); }, 41},
      {"a 17-byte FLASH record",
       [](auto& l, auto*) { l[29] = chipsetgen::hex_record(0, 0x0C0, std::vector<uint8_t>(17, 0x42)); }, 30},
      {"a long header line, then a 10 MB font line",
       [](auto& l, auto*) {
         l.insert(l.begin() + 1, std::string(5000, 'h'));
         l.insert(l.begin() + 313, std::string(10 << 20, '0'));
       },
       314},
      {"the last record without a line end",
       [](auto& l, std::string* e) { flash_last_without_line_end(l, e); }, 0},
      {"the last record without a line end, gzip",
       [](auto& l, std::string* e) { flash_last_without_line_end(l, e); }, 0, true},
      {"blanks after the checksums",
       [](auto& l, auto*) {
         for (size_t i = index_of(l, "***OSD>") + 2; l[i][0] == ':' && l[i][8] == '0'; ++i) l[i] += " \t ";
       },
       0},
  };
  only({tv::Section::Flash, tv::Section::Osd});
  generated_ = chipsetgen::generate(testsupport::small_chipset_options());
  for (const FileCase& file : cases) {
    SCOPED_TRACE(file.what);
    std::vector<std::string> lines = split_lines(generated_.text);
    std::string ending = "\r\n";
    file.edit(lines, &ending);
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i + 1 < lines.size() ? "\r\n" : ending);
    sim_.set_memories(boxsim::Memories());
    sim_.clear_received();
    tv::LoadedChipset chipset = tv::load_chipset(write(text, "chipset.hv", file.gzip));
    RecordingSink sink;
    tv::run_burn(link_, chipset, settings_, sink, cancel_);
    if (file.refused_line == 0) {
      EXPECT_EQ(sink.done_calls(), std::vector<bool>{true});
      EXPECT_EQ(sim_.memories().flash, generated_.images.flash);
      EXPECT_EQ(sim_.memories().osd, generated_.images.osd);
      continue;
    }
    std::string first_fault;
    for (const tv::LogLine& line : chipset.log)
      if (first_fault.empty() && line.style == tv::kStyleBoldRed) first_fault = line.text;
    EXPECT_EQ(first_fault.rfind("Line " + std::to_string(file.refused_line) + ":", 0), 0u) << first_fault;
    EXPECT_EQ(sink.done_calls(), std::vector<bool>{false});
    EXPECT_TRUE(sim_.received().empty());
  }
}

// Verify compares the box with the file: a box that took a record's write
// without storing it fails naming the address. (A writer that never sent a
// record: VerifyFindsTheOneFlashByteTheBoxStoredWrong.)
TEST(VerifyAgainstTheFile, ARecordTheBoxSkippedFailsNamingItsAddress) {
  tv::set_trace_enabled(false);
  std::vector<std::string> lines;
  tv::ChipsetParser parser;
  parser.feed_line("***FLASH>\r\n");
  for (int i = 0; i < 4; ++i) {
    lines.push_back(chipsetgen::hex_record(0, 0x100 + 16 * i, std::vector<uint8_t>(16, uint8_t(i + 1))) +
                    "\r\n");
    parser.feed_line(lines.back());
  }
  tv::LoadedChipset chipset = parser.finish();
  const tv::ByteImage& file = *chipset.sections->image_of(tv::Section::Flash);
  ASSERT_EQ(file.byte_count(), 64);

  burntest::FakeBox box;
  box.skip_write = 0x120;  // echoes the write, stores nothing
  RecordingSink sink;
  std::atomic<bool> cancel{false};
  tv::WriterContext context{box, sink, cancel, "FLASH"};
  tv::ByteImage written;
  context.written = &written;
  ASSERT_EQ(tv::write_hex_section(context, burntest::lines_of(lines), 4, tv::kTargetFlash),
            tv::WriteResult::Done);
  EXPECT_EQ(tv::verify_section(context, file, &written, tv::kTargetFlash), tv::WriteResult::Mismatch);
  EXPECT_TRUE(sink.has_red_line_containing(
      "FLASH verify failed: 16 bytes differ, first at 0x0120 (file 03, box FF)"));
}
