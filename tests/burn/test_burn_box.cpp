// Whole burns against the box simulator through real pseudo-terminals: the
// box must end up holding exactly what the generator says, the log must tell
// the stages in order, and a box that misbehaves must end the burn in bounded
// time with a red line.
#include <gtest/gtest.h>

#include <thread>

#include "base/clock.h"
#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "burn/line_health.h"
#include "burn_test_support.h"
#include "gen/chipset_gen.h"
#include "link/ports.h"
#include "support/box_images.h"
#include "support/simulated_box.h"
#include "support/wait_for.h"

using burntest::count_of;
using burntest::RecordingSink;

namespace {

constexpr int kBurnDeadlineMs = 240000;

class BoxBurn : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    std::string error;
    ASSERT_TRUE(box_.start(&error)) << error;
    ASSERT_EQ(box_.open_programming_port(port_), tv::kOpened);
  }
  void TearDown() override { tv::set_pause_scale_percent(100); }

  // Generates a chipset, writes it (plain or gzip) and loads it.
  tv::LoadedChipset make_chipset(const chipsetgen::Options& options, bool gzip = false) {
    generated_ = chipsetgen::generate(options);
    std::string path = box_.dir().file(gzip ? "chipset.hv.gz" : "chipset.hv");
    std::string error;
    EXPECT_TRUE(chipsetgen::write_chipset(path, generated_.text, gzip, &error)) << error;
    return tv::load_chipset(path);
  }

  tv::LoadedChipset load_text(const std::string& text) {
    std::string path = box_.dir().file("hand.hv");
    EXPECT_TRUE(chipsetgen::write_chipset(path, text, false, nullptr));
    return tv::load_chipset(path);
  }

  // Runs a burn on a worker thread, as the GUI does, and waits for its end.
  void burn(const tv::LoadedChipset& chipset, const tv::BurnSettings& settings, RecordingSink& sink) {
    std::thread worker([&] { tv::run_burn(link_, chipset, settings, sink, cancel_); });
    bool ended = testsupport::wait_for([&] { return !sink.done_calls().empty(); }, kBurnDeadlineMs);
    worker.join();
    ASSERT_TRUE(ended);
  }

  void expect_images_match() { EXPECT_TRUE(testsupport::box_holds(sim_.memories(), generated_.images)); }

  static tv::BurnSettings quick_settings() {
    tv::BurnSettings settings;
    settings.flash_delay = 0;
    settings.sysfont_delay = 0;
    return settings;
  }

  static chipsetgen::Options small_options() { return testsupport::small_chipset_options(); }

  testsupport::SimulatedBox box_{"burn-box"};
  tv::SerialPort port_;  // the programming line, closed before the box stops
  tv::BoxLink link_{port_};
  boxsim::BoxSimulator& sim_ = box_.sim();
  chipsetgen::Generated generated_;
  std::atomic<bool> cancel_{false};
};

const std::vector<std::string> kFullBurnLog = {
    "PIC Burned OK!\n",         "Burning FLASH...\n",       "FLASH Burned OK!\n",       "Burning OSD...\n",
    "OSD Burned OK!\n",         "Burning OSD RusFont...\n", "OSD RusFont Burned OK!\n", "FONT Loading...\n",
    "Burning OSD SysFont...\n", "OSD SysFont Burned OK!\n"};

}  // namespace

// The one burn at the protocol's own pace: every pause as the box needs it.
TEST_F(BoxBurn, FullBurnWithSystemFontLeavesExactlyTheGeneratedImages) {
  chipsetgen::Options options;
  options.seed = 5;
  options.pic_bytes = 500;
  options.flash_bytes = 0x10000;  // 16 sectors
  options.osd_bytes = 0x2000;
  options.glyphs = 128;
  tv::LoadedChipset chipset = make_chipset(options);
  ASSERT_TRUE(tv::burn_possible(chipset.flags));
  RecordingSink sink;
  burn(chipset, quick_settings(), sink);
  EXPECT_EQ(sink.texts(), kFullBurnLog);
  EXPECT_EQ(sink.done_calls(), std::vector<bool>{true});
  expect_images_match();
  EXPECT_EQ(sim_.stats().sector_erases, 16u);
  // Hand-shake, end of burn, end of system font; the last may still be in flight.
  EXPECT_TRUE(testsupport::wait_for([&] { return count_of(sim_.received(), "ZZZZ       \r") == 3; }, 5000));
}

TEST_F(BoxBurn, GzipFileBurnsTwiceAndEverySectorIsErasedAgain) {
  tv::set_pause_scale_percent(1);
  chipsetgen::Options options = small_options();
  options.flash_bytes = 3 * 4096;
  tv::LoadedChipset chipset = make_chipset(options, true);
  RecordingSink first;
  burn(chipset, quick_settings(), first);
  EXPECT_EQ(first.done_calls(), std::vector<bool>{true});
  expect_images_match();

  boxsim::Memories scribbled = sim_.memories();
  std::fill(scribbled.flash.begin(), scribbled.flash.begin() + 3 * 4096, 0x00);
  std::fill(scribbled.font.begin(), scribbled.font.end(), 0x5A);
  sim_.set_memories(scribbled);
  RecordingSink second;
  burn(chipset, quick_settings(), second);
  EXPECT_EQ(second.texts(), kFullBurnLog);
  EXPECT_EQ(second.done_calls(), std::vector<bool>{true});
  EXPECT_EQ(sim_.stats().sector_erases, 6u);
  boxsim::Memories memories = sim_.memories();
  EXPECT_TRUE(
      std::equal(memories.flash.begin(), memories.flash.begin() + 3 * 4096, generated_.images.flash.begin()));
  // Font memory outside the glyphs and pages keeps the scribble; the rest is exact.
  EXPECT_TRUE(
      std::equal(memories.font.begin(), memories.font.begin() + 2 * 36, generated_.images.font.begin()));
  EXPECT_TRUE(std::equal(memories.font.begin() + 0x2400, memories.font.begin() + 0x3800,
                         generated_.images.font.begin() + 0x2400));
}

// A line that garbles or loses now and then costs retries and nothing else;
// one on which most packets need a retry is not waited out for hours: the
// burn ends, naming the line.
TEST_F(BoxBurn, DroppedAndCorruptedAnswersAreRecoveredAndAHopelessLineEndsTheBurn) {
  tv::set_pause_scale_percent(1);
  struct Line {
    const char* name;
    int corrupt_every, refuse_first, drop_every;
    bool burns;
  };
  const Line lines[] = {
      {"every packet mis-echoed once", 0, 1, 0, false},
      {"every 9th answer corrupted, a byte in 2500 lost", 9, 0, 2500, true},
  };
  for (const Line& line : lines) {
    SCOPED_TRACE(line.name);
    boxsim::Faults faults;
    faults.corrupt_echo_every = line.corrupt_every;
    faults.refuse_first = line.refuse_first;
    faults.drop_every = line.drop_every;
    sim_.set_faults(faults);
    const uint64_t refused_before = sim_.stats().refused;
    tv::LoadedChipset chipset = make_chipset(small_options());
    RecordingSink sink;
    burn(chipset, quick_settings(), sink);
    EXPECT_EQ(sink.done_calls(), std::vector<bool>{line.burns});
    if (line.burns) {
      EXPECT_EQ(sink.texts(), kFullBurnLog);
      EXPECT_GT(sim_.stats().refused - refused_before, 50u);
      expect_images_match();
    } else {
      EXPECT_TRUE(sink.has_red_line_containing("the line loses or garbles too much"));
      // Judged as soon as enough packets were seen: not after the whole burn.
      EXPECT_LT(sim_.stats().refused - refused_before, uint64_t(tv::kHealthMinPackets) + 10);
    }
  }
}

// One byte in 150 lost on its way back from the box: a lot to retry (one
// read in ten), yet short of a line so poor that the job ends; a burn that
// ends OK has left exactly the file in the box, and read it back. (One in
// fifty ends the job as a poor line.)
TEST_F(BoxBurn, ALineThatLosesOneByteIn150StillBurnsAndVerifiesExactly) {
  tv::set_pause_scale_percent(1);
  boxsim::Faults faults;
  faults.drop_every = 150;
  sim_.set_faults(faults);
  chipsetgen::Options options = small_options();
  options.pic_bytes = 64;
  options.flash_bytes = 1024;
  options.osd_bytes = 256;
  options.glyphs = 1;
  tv::LoadedChipset chipset = make_chipset(options);
  tv::BurnSettings settings = quick_settings();
  settings.verify = true;
  RecordingSink sink;
  burn(chipset, settings, sink);
  ASSERT_EQ(sink.done_calls(), std::vector<bool>{true});
  expect_images_match();
  EXPECT_TRUE(sink.has_line("FLASH verified: 1024 bytes\n"));
  EXPECT_TRUE(sink.has_line("OSD verified: 256 bytes\n"));
  EXPECT_GT(sink.retries, 20);
}

TEST_F(BoxBurn, ARecordRefusedForeverStopsTheBurnNamingTheAddress) {
  tv::set_pause_scale_percent(1);
  boxsim::Faults faults;
  faults.refuse_always_address = 0x0200;
  sim_.set_faults(faults);
  tv::LoadedChipset chipset = make_chipset(small_options());
  RecordingSink sink;
  burn(chipset, quick_settings(), sink);
  EXPECT_EQ(sink.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(sink.has_red_line_containing("0200"));
  EXPECT_EQ(sink.lines().back().text, "Burning failed: FLASH.\n");
  for (const std::string& text : sink.texts()) EXPECT_EQ(text.find("Burning OSD"), std::string::npos);
}

TEST_F(BoxBurn, AVanishingBoxEndsTheBurnWithARedLine) {
  tv::set_pause_scale_percent(1);
  tv::LoadedChipset chipset = make_chipset(small_options());
  int pic_records = (chipset.pic_adr_l - chipset.pic_adr_f + 7) / 8;
  boxsim::Faults faults;
  faults.vanish_after = pic_records + 20;
  sim_.set_faults(faults);
  RecordingSink sink;
  burn(chipset, quick_settings(), sink);
  EXPECT_EQ(sink.done_calls(), std::vector<bool>{false});
  EXPECT_EQ(sink.lines().back().style, tv::kStyleBoldRed);
  EXPECT_EQ(sink.lines().back().text, "Burning failed: FLASH.\n");
}

TEST_F(BoxBurn, ABoxFallingSilentInTheFontEndsTheBurnInBoundedTime) {
  tv::set_pause_scale_percent(1);
  tv::LoadedChipset chipset = make_chipset(small_options());
  int pic_records = (chipset.pic_adr_l - chipset.pic_adr_f + 7) / 8;
  boxsim::Faults faults;
  faults.silent_after = pic_records + 10 + 7;  // the records, the ten page clears, a few bytes
  sim_.set_faults(faults);
  tv::BurnSettings settings = quick_settings();
  settings.stage_checked = [](tv::Section stage) { return stage == tv::Section::OsdRusFont; };
  RecordingSink sink;
  burn(chipset, settings, sink);
  EXPECT_EQ(sink.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(sink.has_red_line_containing("The box stopped answering at OSD RusFont"));
  EXPECT_EQ(sink.lines().back().text, "Burning failed: OSD RusFont.\n");
}

TEST_F(BoxBurn, PicFrom0x10To0x110GoesOutAs32RecordsWithOneProgressOf73) {
  std::string text = "***HEADER>\r\n***PIC>\r\n";
  for (int address = 0x10; address < 0x110; address += 16)
    text += chipsetgen::hex_record(0, address, std::vector<uint8_t>(16, uint8_t(address >> 4))) + "\r\n";
  text += "***FLASH>\r\n***OSD>\r\n***OSD Font>\r\n";
  tv::LoadedChipset chipset = load_text(text);
  tv::BurnSettings settings = quick_settings();
  settings.stage_checked = [](tv::Section) { return false; };
  RecordingSink sink;
  burn(chipset, settings, sink);
  std::vector<uint8_t> sent = sim_.received();
  EXPECT_EQ(count_of(sent, ":08"), 32);
  EXPECT_EQ(count_of(sent, ":08010800"), 1);
  EXPECT_EQ(count_of(sent, ":00020001"), 1);
  std::vector<int> progress = sink.progress_values();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), 73);
  EXPECT_EQ(std::count_if(progress.begin(), progress.end(), [](int p) { return p != 0; }), 1);
  EXPECT_EQ(sink.texts(), std::vector<std::string>{"PIC Burned OK!\n"});
  EXPECT_EQ(sim_.memories().pic[0x108], 0x10);
  EXPECT_EQ(sim_.memories().pic[0x10F], 0x10);
  EXPECT_EQ(sim_.memories().pic[0x0F], 0xFF);
  EXPECT_EQ(sink.done_calls(), std::vector<bool>{true});
}

// A byte lost from a PIC record's echo costs that record one more attempt,
// sent as soon as the echo's burst is over: every record reaches the box,
// none more than twice at this rate of loss, and the box holds the file's PIC
// program.
TEST_F(BoxBurn, PicRecordWhoseEchoLostAByteIsSentAgainAndThePicProgramIsExact) {
  boxsim::Faults faults;
  faults.drop_every = 100;  // one byte of every fourth echo or so
  sim_.set_faults(faults);
  tv::LoadedChipset chipset = make_chipset(small_options());
  tv::BurnSettings settings = quick_settings();
  settings.stage_checked = [](tv::Section) { return false; };
  RecordingSink sink;
  burn(chipset, settings, sink);
  EXPECT_EQ(sink.texts(), std::vector<std::string>{"PIC Burned OK!\n"});
  EXPECT_EQ(sink.done_calls(), std::vector<bool>{true});
  EXPECT_EQ(sim_.memories().pic, generated_.images.pic);
  const std::vector<uint8_t> sent = sim_.received();
  int records = 0, sent_twice = 0;
  for (int address = chipset.pic_adr_f; address < chipset.pic_adr_l; address += 8, ++records) {
    const int attempts = count_of(sent, tv::pic_record(chipset.pic, address));
    EXPECT_TRUE(attempts == 1 || attempts == 2) << std::hex << address << ": " << attempts;
    if (attempts == 2) ++sent_twice;
  }
  EXPECT_GE(sent_twice, records / 8);
  EXPECT_EQ(sink.retries, sent_twice);
  EXPECT_EQ(count_of(sent, ":08"), records + sent_twice);
}

TEST_F(BoxBurn, ABoxThatNeverEchoesGetsTheFirstPicRecordFiveTimesThenError) {
  boxsim::Faults faults;
  faults.corrupt_echo_every = 1;
  sim_.set_faults(faults);
  tv::LoadedChipset chipset = make_chipset(small_options());
  tv::BurnSettings settings = quick_settings();
  settings.stage_checked = [](tv::Section) { return false; };
  RecordingSink sink;
  burn(chipset, settings, sink);
  std::vector<uint8_t> sent = sim_.received();
  EXPECT_EQ(count_of(sent, ":08"), 5);
  EXPECT_EQ(count_of(sent, tv::pic_record(chipset.pic, chipset.pic_adr_f)), 5);
  EXPECT_EQ(count_of(sent, ":00020001"), 0);
  EXPECT_EQ(sink.texts(),
            (std::vector<std::string>{"ERROR !\n", "PIC was not burned.\n", "Burning failed: PIC.\n"}));
  EXPECT_EQ(sink.done_calls(), std::vector<bool>{false});

  // A box that does not answer at all is no lost line: five attempts, each
  // ended by the silence, and the same end.
  faults = boxsim::Faults();
  faults.silent_after = 1;  // the five exchanges above are past it
  sim_.set_faults(faults);
  sim_.clear_received();
  RecordingSink silent;
  burn(chipset, settings, silent);
  EXPECT_EQ(count_of(sim_.received(), ":08"), 5);
  EXPECT_EQ(silent.line_lost_calls, 0);
  EXPECT_EQ(silent.texts(), sink.texts());
}

TEST_F(BoxBurn, WithoutAnOpenPortNothingIsSentAndTheBurnFails) {
  port_.close();
  tv::LoadedChipset chipset = make_chipset(small_options());
  RecordingSink sink;
  burn(chipset, quick_settings(), sink);
  EXPECT_EQ(sink.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(sink.has_red_line_containing("not open"));
  EXPECT_TRUE(sim_.received().empty());
}

TEST_F(BoxBurn, CancelDuringTheFlashStageEndsTheBurnPromptly) {
  tv::set_pause_scale_percent(1);
  tv::LoadedChipset chipset = make_chipset(small_options());
  RecordingSink sink;
  std::thread worker([&] { tv::run_burn(link_, chipset, quick_settings(), sink, cancel_); });
  bool in_flash = testsupport::wait_for(
      [&] {
        std::vector<std::string> texts = sink.texts();
        return std::find(texts.begin(), texts.end(), "Burning FLASH...\n") != texts.end();
      },
      kBurnDeadlineMs);
  cancel_ = true;
  bool ended = testsupport::wait_for([&] { return !sink.done_calls().empty(); }, 30000);
  worker.join();
  ASSERT_TRUE(in_flash);
  ASSERT_TRUE(ended);
  EXPECT_EQ(sink.done_calls(), std::vector<bool>{false});
  EXPECT_EQ(sink.lines().back().text, "Burning cancelled.\n");
  for (const std::string& text : sink.texts()) EXPECT_EQ(text.find("FLASH Burned OK"), std::string::npos);
}

TEST_F(BoxBurn, SystemFontAloneWritesOnlyTheSystemFontAndClosesWithTheFourZLine) {
  tv::set_pause_scale_percent(1);
  tv::LoadedChipset chipset = make_chipset(small_options());
  RecordingSink sink;
  tv::run_system_font_burn(link_, chipset, quick_settings(), sink, cancel_);
  EXPECT_EQ(sink.texts(), (std::vector<std::string>{"Burning OSD SysFont...\n", "OSD SysFont Burned OK!\n"}));
  EXPECT_EQ(sink.done_calls(), std::vector<bool>{true});
  // The last line may still be on its way through the pseudo-terminal.
  EXPECT_TRUE(testsupport::wait_for([&] { return count_of(sim_.received(), "ZZZZ       \r") == 1; }, 5000));
  boxsim::Memories memories = sim_.memories();
  // Glyphs 0 and 1 of the system font, and the cleared pages; the RusFont's
  // place (glyph 128 on) stays as it was.
  EXPECT_TRUE(std::equal(memories.font.begin(), memories.font.begin() + 72, generated_.images.font.begin()));
  EXPECT_TRUE(std::equal(memories.font.begin() + 0x2400, memories.font.begin() + 0x3800,
                         generated_.images.font.begin() + 0x2400));
  EXPECT_EQ(memories.font[128 * 36], 0x00);
  EXPECT_EQ(sim_.stats().pic_records, 0u);
  EXPECT_EQ(sim_.stats().font_page_clears, 11u);
}

TEST_F(BoxBurn, EachStageBoxIsReadWhenItsStageIsReached) {
  tv::set_pause_scale_percent(1);
  tv::LoadedChipset chipset = make_chipset(small_options());
  std::vector<tv::Section> asked;
  tv::BurnSettings settings = quick_settings();
  RecordingSink sink;
  settings.stage_checked = [&](tv::Section stage) {
    asked.push_back(stage);
    // Unchecked while the OSD stage runs: the RusFont stage must see it.
    return !(stage == tv::Section::OsdRusFont || stage == tv::Section::OsdSysFont) || sink.texts().size() < 4;
  };
  burn(chipset, settings, sink);
  EXPECT_EQ(asked, (std::vector<tv::Section>{tv::Section::Flash, tv::Section::Osd, tv::Section::OsdRusFont,
                                             tv::Section::OsdSysFont}));
  EXPECT_EQ(sink.texts(),
            (std::vector<std::string>{"PIC Burned OK!\n", "Burning FLASH...\n", "FLASH Burned OK!\n",
                                      "Burning OSD...\n", "OSD Burned OK!\n"}));
  // Hand-shake and end of burn; the last may still be in flight.
  EXPECT_TRUE(testsupport::wait_for([&] { return count_of(sim_.received(), "ZZZZ       \r") == 2; }, 5000));
}
