// The section writer's two modes against a recording box: what goes to the
// box, in which order, with which progress, and how refusals are bounded.
#include <gtest/gtest.h>

#include <set>

#include "base/clock.h"
#include "base/trace.h"
#include "burn/line_health.h"
#include "burn_test_support.h"
#include "gen/chipset_gen.h"
#include "link/packets.h"

using burntest::BoxCall;
using burntest::FakeBox;
using burntest::lines_of;
using burntest::RecordingSink;

namespace {

std::string record_line(int address, uint8_t fill) {
  return chipsetgen::hex_record(0, address, std::vector<uint8_t>(16, fill)) + "\r\n";
}

struct WriterFixture : ::testing::Test {
  void SetUp() override { tv::set_trace_enabled(false); }
  FakeBox box;
  RecordingSink sink;
  std::atomic<bool> cancel{false};
  tv::WriterContext context{box, sink, cancel, "FLASH"};
};

std::string row(const std::string& pixels) { return pixels + "\r\n"; }

}  // namespace

using HexWriter = WriterFixture;
using FontWriter = WriterFixture;

TEST(SectionProgress, EveryTenthLineCutClampedAndNeverDividingByZero) {
  EXPECT_EQ(tv::section_progress(10, 26), 38);
  EXPECT_EQ(tv::section_progress(20, 26), 76);
  EXPECT_EQ(tv::section_progress(11, 26), -1);
  EXPECT_EQ(tv::section_progress(10, 0), -1);
  EXPECT_EQ(tv::section_progress(30, 5), 100);
}

TEST_F(HexWriter, TwentyFiveRecordsWithCount26SetProgress38Then76AndStopAtTheEndRecord) {
  std::vector<std::string> lines;
  for (int i = 0; i < 25; ++i) lines.push_back(record_line(i * 16, uint8_t(i)));
  lines.push_back(":00000001FF\r\n");
  lines.push_back(record_line(0x9990, 0x77));  // after the end: never written
  EXPECT_EQ(tv::write_hex_section(context, lines_of(lines), 26, tv::kTargetFlash), tv::WriteResult::Done);
  EXPECT_EQ(sink.progress_values(), (std::vector<int>{38, 76}));
  std::vector<BoxCall> writes = box.of("wrt16");
  ASSERT_EQ(writes.size(), 25u);
  EXPECT_EQ(writes[3].address, 0x30);
  EXPECT_EQ(writes[3].value, tv::kTargetFlash);
  EXPECT_EQ(writes[3].text, std::string(32, '0').replace(0, 32, "03030303030303030303030303030303"));
  EXPECT_TRUE(box.of("clr").empty());  // flash gets no OSD clear
}

TEST_F(HexWriter, OsdSectionIsClearedOnceFirstAndLowerCaseIsWrittenUpperCase) {
  std::string lower = record_line(0x2000, 0xAB);
  for (char& c : lower) c = char(std::tolower(c));
  EXPECT_EQ(tv::write_hex_section(context, lines_of({lower, record_line(0x2010, 1)}), 2, tv::kTargetOsd),
            tv::WriteResult::Done);
  ASSERT_EQ(box.calls.size(), 3u);
  EXPECT_EQ(box.calls[0].op, "clr");
  EXPECT_EQ(box.calls[1].address, 0x2000);
  EXPECT_EQ(box.calls[1].value, tv::kTargetOsd);
  EXPECT_EQ(box.calls[1].text, "ABABABABABABABABABABABABABABABAB");

  FakeBox silent;
  silent.fail = [](const BoxCall&) { return tv::LinkFault::Silent; };
  RecordingSink silent_sink;
  tv::WriterContext osd{silent, silent_sink, cancel, "OSD"};
  EXPECT_EQ(tv::write_hex_section(osd, lines_of({lower}), 1, tv::kTargetOsd), tv::WriteResult::BoxSilent);
  EXPECT_TRUE(silent_sink.has_red_line_containing("The box stopped answering during the OSD clear."));
}

TEST_F(HexWriter, ShortLinesAreSkippedAndAnyMarkerLineEndsTheSection) {
  std::vector<std::string> lines = {":020000040000FA\r\n", "\r\n", record_line(0x10, 1), "***OSD>\r\n",
                                    record_line(0x20, 2)};
  EXPECT_EQ(tv::write_hex_section(context, lines_of(lines), 5, tv::kTargetFlash), tv::WriteResult::Done);
  ASSERT_EQ(box.of("wrt16").size(), 1u);
  EXPECT_EQ(box.of("wrt16")[0].address, 0x10);
}

TEST_F(HexWriter, EndRecordAnywhereInTheLineStopsIt) {
  std::string line = record_line(0x10, 1);
  line.insert(20, ":00000001ff");
  EXPECT_EQ(tv::write_hex_section(context, lines_of({line, record_line(0x20, 2)}), 2, tv::kTargetFlash),
            tv::WriteResult::Done);
  EXPECT_TRUE(box.of("wrt16").empty());
}

TEST_F(HexWriter, ARecordRefusedTwiceIsRetriedAfterRecoveryThenAccepted) {
  int refusals = 2;
  box.refuse = [&](const BoxCall& call) { return call.op == "wrt16" && refusals-- > 0; };
  EXPECT_EQ(tv::write_hex_section(context, lines_of({record_line(0x40, 9), record_line(0x50, 9)}), 2,
                                  tv::kTargetFlash),
            tv::WriteResult::Done);
  std::vector<std::string> ops;
  for (const BoxCall& call : box.calls) ops.push_back(call.op);
  EXPECT_EQ(ops, (std::vector<std::string>{"wrt16", "recover", "wrt16", "recover", "wrt16", "wrt16"}));
}

// A line on which too many packets need a retry ends the section at the next
// record, naming the line; one that needs a retry now and then does not.
TEST_F(HexWriter, ALineThatNeedsTooManyRetriesEndsTheSectionNamingTheLine) {
  struct Case {
    int refuse_every;  // the last record of every so many is refused once
    size_t records_sent;
    const char* red_line;  // empty: the section is written whole
  };
  const Case cases[] = {
      {3, 50, "FLASH: stopped at 0320: the line loses or garbles too much: 32% of the last 50 packets"},
      {4, 300, ""},  // a quarter is not more than a quarter
      {5, 300, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refuse_every);
    FakeBox fresh;
    RecordingSink said;
    tv::LineHealth health;
    tv::WriterContext watched{fresh, said, cancel, "FLASH"};
    watched.health = &health;
    std::set<int> refused;
    fresh.refuse = [&](const BoxCall& call) {
      return call.address / 16 % c.refuse_every == c.refuse_every - 1 && refused.insert(call.address).second;
    };
    std::vector<std::string> lines;
    for (int i = 0; i < 300; ++i) lines.push_back(record_line(i * 16, uint8_t(i)));
    const tv::WriteResult result = tv::write_hex_section(watched, lines_of(lines), 300, tv::kTargetFlash);
    EXPECT_EQ(result, *c.red_line ? tv::WriteResult::PoorLine : tv::WriteResult::Done);
    std::set<int> sent;
    for (const BoxCall& call : fresh.of("wrt16")) sent.insert(call.address);
    EXPECT_EQ(sent.size(), c.records_sent);
    if (*c.red_line) EXPECT_TRUE(said.has_red_line_containing(c.red_line));
    if (*c.red_line) EXPECT_EQ(tv::failure_cause(result), tv::FailureCause::PoorLine);
  }
}

// The share is of the recent packets only, judged from the 50th on; a job
// that has taken three times its plan and a minute more ends too.
TEST(LineHealth, TheShareIsOfTheRecentPacketsAndTheTimeBoundNeedsBothFactorAndSlack) {
  tv::LineHealth health;
  for (int i = 0; i < tv::kHealthMinPackets - 1; ++i) health.packet(true);
  EXPECT_FALSE(health.hopeless()) << "judged from the 50th packet on";
  health.packet(true);
  EXPECT_TRUE(health.hopeless());
  for (int i = 0; i < tv::kHealthWindowPackets - 1; ++i) health.packet(false);
  EXPECT_EQ(health.retried_percent(), 0);
  EXPECT_FALSE(health.hopeless());
  EXPECT_EQ(health.verdict(), "");

  const int64_t hundred_seconds_ago = tv::monotonic_ms() - 100000;
  EXPECT_TRUE(tv::LineHealth(30, hundred_seconds_ago).hopeless());          // 3 x 30 s and 30 s + 60 s passed
  EXPECT_FALSE(tv::LineHealth(34, hundred_seconds_ago).hopeless());         // not yet 3 x 34 s
  EXPECT_FALSE(tv::LineHealth(0, hundred_seconds_ago).hopeless());          // no time bound
  EXPECT_FALSE(tv::LineHealth(20, tv::monotonic_ms() - 70000).hopeless());  // not 20 s + 60 s
  EXPECT_NE(tv::LineHealth(30, hundred_seconds_ago)
                .verdict()
                .find("the line is too slow: the job has taken 3 times"),
            std::string::npos);
}

TEST_F(HexWriter, ARecordRefusedForeverGivesUpAfterTenAttemptsNamingTheAddress) {
  box.refuse = [](const BoxCall& call) { return call.address == 0x1230; };
  std::vector<std::string> lines = {record_line(0x1220, 1), record_line(0x1230, 2), record_line(0x1240, 3)};
  EXPECT_EQ(tv::write_hex_section(context, lines_of(lines), 3, tv::kTargetFlash), tv::WriteResult::Failed);
  EXPECT_EQ(box.of("wrt16").size(), 1u + tv::kMaxAttempts);
  EXPECT_EQ(box.of("recover").size(), size_t(tv::kMaxAttempts));
  EXPECT_TRUE(sink.has_red_line_containing("FLASH"));
  EXPECT_TRUE(sink.has_red_line_containing("1230"));
}

// Three time-outs in a row end the section, whether no byte came or an
// answer broke off; an answer between them (a refusal) starts the count again.
TEST_F(HexWriter, TimeOutsInARowEndTheSectionAndAnAnswerBetweenThemStartsTheCountAgain) {
  using tv::LinkFault;
  const std::vector<LinkFault> faults = {LinkFault::Silent,   LinkFault::CutShort, LinkFault::Refused,
                                         LinkFault::Silent,   LinkFault::CutShort, LinkFault::None,
                                         LinkFault::CutShort, LinkFault::Silent,   LinkFault::CutShort};
  size_t call = 0;
  box.fail = [&](const BoxCall&) { return call < faults.size() ? faults[call++] : LinkFault::None; };
  EXPECT_EQ(tv::write_hex_section(context, lines_of({record_line(0x10, 1), record_line(0x20, 2)}), 2,
                                  tv::kTargetFlash),
            tv::WriteResult::BoxSilent);
  EXPECT_EQ(call, faults.size());
  EXPECT_TRUE(sink.has_red_line_containing("The box stopped answering at FLASH 0020."));
  // A broken-off answer is followed by a discard of its rest, not the
  // recovery step.
  EXPECT_EQ(box.of("recover").size(), 4u);
  EXPECT_EQ(box.of("discard").size(), 3u);
}

TEST_F(HexWriter, CancelStopsBeforeTheNextRecord) {
  box.refuse = [&](const BoxCall&) {
    cancel = true;
    return false;
  };
  EXPECT_EQ(tv::write_hex_section(context, lines_of({record_line(0x10, 1), record_line(0x20, 2)}), 2,
                                  tv::kTargetFlash),
            tv::WriteResult::Cancelled);
  EXPECT_EQ(box.of("wrt16").size(), 1u);
}

TEST(FontRowBytes, ZeroIsASetPixelStoredHighHalfFirst) {
  tv::FontRowBytes a = tv::font_row_bytes("0000000011111111\r\n");
  EXPECT_EQ(a.at_p, 0x00);
  EXPECT_EQ(a.at_p1, 0xFF);
  tv::FontRowBytes b = tv::font_row_bytes("0111111111111110\r\n");
  EXPECT_EQ(b.at_p, 0x01);
  EXPECT_EQ(b.at_p1, 0x80);
  tv::FontRowBytes short_row = tv::font_row_bytes("000000000000\r\n");  // 14 characters
  EXPECT_EQ(short_row.at_p1, 0xFF);
  EXPECT_EQ(short_row.at_p, 0xF0);
}

TEST_F(FontWriter, ClearsTheTenPagesThenWritesGlyph65AndRewritesItsLastRowAsZero) {
  std::vector<std::string> lines = {"65\r\n"};
  for (int r = 0; r < 18; ++r) lines.push_back(row("0000000011111111"));
  ASSERT_EQ(tv::write_font_section(context, lines_of(lines), 19), tv::WriteResult::Done);
  std::vector<BoxCall> pages = box.of("page");
  ASSERT_EQ(pages.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(pages[size_t(i)].address, 0x2400 + i * 0x200);
    EXPECT_EQ(pages[size_t(i)].value, 0xFF);
  }
  std::vector<BoxCall> bytes = box.of("fnt");
  ASSERT_EQ(bytes.size(), 36u + 2u);
  for (int i = 0; i < 36; ++i) {
    EXPECT_EQ(bytes[size_t(i)].address, 2340 + i);
    EXPECT_EQ(bytes[size_t(i)].value, i % 2 == 0 ? 0x00 : 0xFF);
  }
  EXPECT_EQ(bytes[36].address, 2374);
  EXPECT_EQ(bytes[36].value, 0);
  EXPECT_EQ(bytes[37].address, 2375);
  EXPECT_EQ(bytes[37].value, 0);
  EXPECT_EQ(sink.progress_values(), (std::vector<int>{52}));  // line 10 of 19
}

TEST_F(FontWriter, RowsBeforeAnyGlyphLineBelongToGlyphZeroAndMidLengthLinesAreIgnored) {
  std::vector<std::string> lines = {row("0111111111111110"), "ignored me\r\n", row("1111111111111110"),
                                    "***OSD All Font>\r\n", row("0000000000000000")};
  ASSERT_EQ(tv::write_font_section(context, lines_of(lines), 3), tv::WriteResult::Done);
  std::vector<BoxCall> bytes = box.of("fnt");
  ASSERT_EQ(bytes.size(), 6u);
  EXPECT_EQ(bytes[0].address, 0);
  EXPECT_EQ(bytes[1].address, 1);
  EXPECT_EQ(bytes[2].address, 2);
  EXPECT_EQ(bytes[2].value, 0x01);
  EXPECT_EQ(bytes[4].address, 2);  // closing row rewrites the last row only
  EXPECT_EQ(bytes[5].address, 3);
}

TEST_F(FontWriter, AnEmptySectionClearsThePagesAndWritesNoClosingRow) {
  ASSERT_EQ(tv::write_font_section(context, lines_of({}), 0), tv::WriteResult::Done);
  EXPECT_EQ(box.of("page").size(), 10u);
  EXPECT_TRUE(box.of("fnt").empty());
}

TEST_F(FontWriter, RefusedBytesAreRetriedWithRecoveryAndAPageThatNeverClearsStopsTheSection) {
  int refusals = 3;
  box.refuse = [&](const BoxCall& call) { return call.op == "fnt" && call.address == 1 && refusals-- > 0; };
  ASSERT_EQ(tv::write_font_section(context, lines_of({row("0000000011111111")}), 1), tv::WriteResult::Done);
  EXPECT_EQ(box.of("recover").size(), 3u);

  FakeBox stuck;
  stuck.refuse = [](const BoxCall& call) { return call.op == "page" && call.address == 0x2A00; };
  RecordingSink stuck_sink;
  tv::WriterContext stuck_context{stuck, stuck_sink, cancel, "OSD RusFont"};
  EXPECT_EQ(tv::write_font_section(stuck_context, lines_of({row("0000000011111111")}), 1),
            tv::WriteResult::Failed);
  EXPECT_EQ(stuck.of("page").size(), 3u + tv::kMaxAttempts);
  EXPECT_TRUE(stuck.of("fnt").empty());
  EXPECT_TRUE(stuck_sink.has_red_line_containing("2A00"));
  EXPECT_TRUE(stuck_sink.has_red_line_containing("OSD RusFont"));
}
