// The chipset loader: markers, PIC records, counts, log lines, checksums and
// the check that the file is still the one loaded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "base/trace.h"
#include "burn/burn_sink.h"
#include "burn/chipset_file.h"
#include "burn/sha256.h"
#include "gen/chipset_gen.h"
#include "support/temp_dir.h"

namespace {

tv::LoadedChipset parse(const std::vector<std::string>& lines) {
  tv::set_trace_enabled(false);
  tv::ChipsetParser parser;
  for (const std::string& line : lines) parser.feed_line(line + "\r\n");
  return parser.finish();
}

std::vector<std::string> log_texts(const tv::LoadedChipset& loaded) {
  std::vector<std::string> texts;
  for (const tv::LogLine& line : loaded.log) texts.push_back(line.text);
  return texts;
}

using testsupport::TempDir;
using testsupport::write_file;

const std::vector<std::string> kBareMarkers = {"***HEADER>", "***PIC>", "***FLASH>", "***OSD>",
                                               "***OSD Font>"};

// A 16-byte data record whose bytes tell it from any other with another `mark`.
std::string box_record(int address, int mark = 0) {
  std::vector<uint8_t> data(16);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(address * 3 + mark * 41 + int(i));
  return chipsetgen::hex_record(0, address, data);
}

std::vector<std::string> lines_in_style(const tv::LoadedChipset& loaded, int style) {
  std::vector<std::string> texts;
  for (const tv::LogLine& line : loaded.log)
    if (line.style == style) texts.push_back(line.text);
  return texts;
}

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ChipsetLoader, FiveBareMarkersAllowBurningAndLogEmptyTitlesThenZeroCounts) {
  tv::LoadedChipset loaded = parse(kBareMarkers);
  EXPECT_TRUE(tv::burn_possible(loaded.flags));
  EXPECT_FALSE(tv::system_font_present(loaded.flags));
  std::vector<std::string> expected = {"\n",
                                       "\n",
                                       "\n",
                                       "\n",
                                       "\n",
                                       "PIC LINES 0\n",
                                       "FLASH LINES 0\n",
                                       "OSD LINES 0\n",
                                       "OSD Font LINES 0\n"};
  EXPECT_EQ(log_texts(loaded), expected);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(loaded.log[i].style, tv::kStyleBlue);
  for (size_t i = 5; i < 9; ++i) EXPECT_EQ(loaded.log[i].style, tv::kStyleBoldGreen);
}

TEST(ChipsetLoader, AnyMissingRequiredSectionForbidsBurning) {
  for (size_t missing = 0; missing < kBareMarkers.size(); ++missing) {
    std::vector<std::string> lines = kBareMarkers;
    lines.erase(lines.begin() + long(missing));
    lines.push_back("***OSD All Font>");
    EXPECT_FALSE(tv::burn_possible(parse(lines).flags)) << kBareMarkers[missing];
  }
}

TEST(ChipsetLoader, RecordsAtAddressZeroAndOfOtherTypesAreCountedButNotTaken) {
  tv::LoadedChipset loaded = parse({"***PIC>", ":0800000001020304050607085C", ":00000001FF", ""});
  EXPECT_EQ(loaded.lines_in(tv::Section::Pic), 3);
  EXPECT_EQ(loaded.pic_adr_f, tv::kPicNoFirst);
  EXPECT_EQ(loaded.pic_adr_l, 0);
  EXPECT_EQ(loaded.pic, std::vector<uint8_t>(tv::kPicImageSize, 0xFF));
}

TEST(ChipsetLoader, PicRecordsFillTheImageAndBoundsLeavingGapsErased) {
  std::string first = chipsetgen::hex_record(0, 0x0010, {1, 2, 3, 4, 5, 6, 7, 8});
  std::vector<uint8_t> sixteen(16);
  for (int i = 0; i < 16; ++i) sixteen[size_t(i)] = uint8_t(0xA0 + i);
  std::string second = chipsetgen::hex_record(0, 0x0100, sixteen);
  tv::LoadedChipset loaded = parse({"***PIC>", first, second});
  EXPECT_EQ(loaded.pic_adr_f, 0x0010);
  EXPECT_EQ(loaded.pic_adr_l, 0x0110);
  for (size_t i = 0; i < tv::kPicImageSize; ++i) {
    uint8_t expected = 0xFF;
    if (i >= 0x10 && i < 0x18) expected = uint8_t(i - 0x10 + 1);
    if (i >= 0x100 && i < 0x110) expected = uint8_t(0xA0 + i - 0x100);
    ASSERT_EQ(loaded.pic[i], expected) << "index " << i;
  }
  EXPECT_EQ(loaded.bad_checksums, 0);
}

TEST(ChipsetLoader, LowerCaseDigitsAndTwoPicSectionsAddUp) {
  tv::LoadedChipset loaded = parse({"***PIC>", ":02002000abcd06", "***FLASH>", "x", "***PIC>",
                                    chipsetgen::hex_record(0, 0x30, {0x11}), "y"});
  EXPECT_EQ(loaded.lines_in(tv::Section::Pic), 3);
  EXPECT_EQ(loaded.lines_in(tv::Section::Flash), 1);
  EXPECT_EQ(loaded.pic[0x20], 0xAB);
  EXPECT_EQ(loaded.pic[0x21], 0xCD);
  EXPECT_EQ(loaded.pic[0x30], 0x11);
  EXPECT_EQ(loaded.pic_adr_f, 0x20);
  EXPECT_EQ(loaded.pic_adr_l, 0x31);
}

TEST(ChipsetLoader, MarkerTitlesKeepTheirTrailingWordAndFontMarkersAreNotOsd) {
  tv::LoadedChipset loaded = parse({"***OSD Font> Cyrillic", "a", "***OSD All Font>", "b", "c", "***OSD>x"});
  EXPECT_EQ(loaded.log[0].text, " Cyrillic\n");
  EXPECT_EQ(loaded.log[2].text, "x\n");
  EXPECT_EQ(loaded.lines_in(tv::Section::OsdRusFont), 1);
  EXPECT_EQ(loaded.lines_in(tv::Section::OsdSysFont), 2);
  EXPECT_EQ(loaded.lines_in(tv::Section::Osd), 0);
  EXPECT_EQ(loaded.flags, unsigned(tv::kSectionOsdFont | tv::kSectionOsdAllFont | tv::kSectionOsd));
  EXPECT_EQ(log_texts(loaded).back(), "OSD All Font LINES 2\n");
}

TEST(ChipsetLoader, LineFeedOnlyLinesLoseNoCharacter) {
  tv::set_trace_enabled(false);
  tv::ChipsetParser parser;
  for (const std::string& marker : kBareMarkers) parser.feed_line(marker + "\n");
  parser.feed_line(chipsetgen::hex_record(0, 0x40, {0x12, 0x34}) + "\n");
  tv::LoadedChipset loaded = parser.finish();
  EXPECT_TRUE(tv::burn_possible(loaded.flags));
  EXPECT_EQ(loaded.lines_in(tv::Section::OsdRusFont), 1);
  EXPECT_EQ(loaded.bad_checksums, 0);
}

TEST(ChipsetLoader, BadChecksumsAreReportedInRedWithCountAndFirstLine) {
  std::string good = chipsetgen::hex_record(0, 0x100, std::vector<uint8_t>(16, 0x5A));
  std::string bad = chipsetgen::hex_record(0, 0x110, std::vector<uint8_t>(16, 0x5A));
  bad[12] = bad[12] == '0' ? '1' : '0';
  tv::LoadedChipset loaded =
      parse({"***HEADER>", "***PIC>", good, "***FLASH>", good, bad, "***OSD>", bad, ":0100000001FE"});
  EXPECT_EQ(loaded.bad_checksums, 2);
  EXPECT_EQ(loaded.first_bad_checksum_line, 6);
  EXPECT_EQ(loaded.lines_in(tv::Section::Flash), 2);  // reported, not refused
  // Named in the order of the file: the checksums from line 6, then the
  // one-byte record of line 9.
  std::vector<std::string> red;
  for (const tv::LogLine& line : loaded.log)
    if (line.style == tv::kStyleBoldRed) red.push_back(line.text);
  ASSERT_EQ(red.size(), 2u);
  EXPECT_EQ(red[0], "2 records with a bad checksum, the first in line 6.\n");
  EXPECT_EQ(red[1].rfind("Line 9: ", 0), 0u) << red[1];
}

TEST(ChipsetLoader, ChecksumRuleRejectsShortOddAndNonHexRecords) {
  EXPECT_TRUE(tv::hex_record_checksum_ok(":00000001FF"));
  EXPECT_FALSE(tv::hex_record_checksum_ok(":00000001FE"));
  EXPECT_FALSE(tv::hex_record_checksum_ok(":0000001FF"));
  EXPECT_FALSE(tv::hex_record_checksum_ok(":0000000GF9"));
  EXPECT_FALSE(tv::hex_record_checksum_ok(":0200000001FD"));  // fewer bytes than counted
}

TEST(ChipsetLoader, RandomLinesNeverReachPastThePicImage) {
  std::mt19937 random(99);
  tv::set_trace_enabled(false);
  tv::ChipsetParser parser;
  const std::string alphabet = ":0123456789abcdefABCDEFxyz*> \r\n";
  parser.feed_line("***PIC>\r\n");
  for (int line = 0; line < 20000; ++line) {
    std::string text = ":";
    int length = int(random() % 80);
    for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    parser.feed_line(text);
  }
  tv::LoadedChipset loaded = parser.finish();
  EXPECT_LE(loaded.pic_adr_l, 0xFFFF + 0xFF);
  EXPECT_EQ(loaded.pic.size(), tv::kPicImageSize);
}

TEST(ChipsetLoaderFiles, GzipLoadsExactlyLikePlainTextAndMatchesTheGenerator) {
  TempDir dir("burn-loader");
  chipsetgen::Options options;
  options.flash_bytes = 4096;
  options.osd_bytes = 1024;
  options.glyphs = 8;
  chipsetgen::Generated generated = chipsetgen::generate(options);
  std::string error;
  ASSERT_TRUE(chipsetgen::write_chipset(dir.file("a.hv"), generated.text, false, &error)) << error;
  ASSERT_TRUE(chipsetgen::write_chipset(dir.file("a.hv.gz"), generated.text, true, &error)) << error;
  tv::set_trace_enabled(false);
  tv::LoadedChipset plain = tv::load_chipset(dir.file("a.hv"));
  tv::LoadedChipset packed = tv::load_chipset(dir.file("a.hv.gz"));
  EXPECT_TRUE(plain.opened);
  EXPECT_EQ(plain.pic, generated.images.pic);
  EXPECT_EQ(packed.pic, plain.pic);
  EXPECT_EQ(log_texts(packed), log_texts(plain));
  EXPECT_EQ(plain.lines_in(tv::Section::Flash), 4096 / 16 + 2);  // plus the extended-address and end records
  EXPECT_EQ(plain.lines_in(tv::Section::OsdRusFont), 8 * 19);
  EXPECT_EQ(plain.bad_checksums, 0);
  // The size and digest are those of the bytes read: compressed for gzip.
  std::ifstream in(dir.file("a.hv.gz"), std::ios::binary);
  std::string packed_bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(plain.sha256, tv::sha256_hex(generated.text));
  EXPECT_EQ(plain.size, int64_t(generated.text.size()));
  EXPECT_EQ(packed.sha256, tv::sha256_hex(packed_bytes));
  EXPECT_EQ(packed.size, int64_t(packed_bytes.size()));
  EXPECT_TRUE(tv::burn_possible(plain.flags));
  EXPECT_TRUE(tv::system_font_present(plain.flags));
}

TEST(ChipsetLoaderFiles, AMissingFileReadsAsEmptyWithARedLine) {
  tv::LoadedChipset loaded = tv::load_chipset("/nonexistent/dir/x.hv");
  EXPECT_FALSE(loaded.opened);
  EXPECT_EQ(loaded.flags, 0u);
  EXPECT_FALSE(tv::burn_possible(loaded.flags));
  ASSERT_FALSE(loaded.log.empty());
  EXPECT_EQ(loaded.log.front().style, tv::kStyleBoldRed);
  EXPECT_NE(loaded.log.front().text.find("/nonexistent/dir/x.hv"), std::string::npos);
}

// Chosen by mistake in the file dialog: a pipe would block the opening, a
// device of endless zeros would be read for ever, a folder is nothing. Each
// is refused at once, saying why, in the loader's and in tvbox-burn's words.
TEST(ChipsetLoaderFiles, PipesDevicesAndFoldersAreRefusedAtOnceSayingWhy) {
  testsupport::TempDir dir("fifo");
  ASSERT_EQ(mkfifo(dir.file("pipe.hv").c_str(), 0600), 0);
  ASSERT_TRUE(write_file(dir.file("locked.hv"), "***HEADER>\r\n"));
  ASSERT_EQ(chmod(dir.file("locked.hv").c_str(), 0), 0);
  const std::pair<std::string, std::string> cases[] = {
      {dir.file("pipe.hv"), "it is not a regular file (a FIFO)"},
      {"/dev/zero", "it is not a regular file (a character device)"},
      {dir.path(), "it is a folder"},
      {dir.file("missing.hv"), "it does not exist"},
      {dir.file("pipe.hv/x.hv"), "it does not exist"},
      {dir.file("locked.hv"), "permission denied"},
  };
  for (const auto& [path, why] : cases) {
    SCOPED_TRACE(path);
    // The superuser reads a file whatever its mode.
    if (why == "permission denied" && access(path.c_str(), R_OK) == 0) continue;
    tv::LoadedChipset loaded = tv::load_chipset(path);
    EXPECT_FALSE(loaded.opened);
    EXPECT_EQ(loaded.flags, 0u);
    ASSERT_FALSE(loaded.log.empty());
    EXPECT_EQ(loaded.log.front().text, "Cannot open the chipset file " + path + ": " + why + ".\n");
    EXPECT_EQ(loaded.log.front().style, tv::kStyleBoldRed);
    EXPECT_EQ(tv::chipset_open_problem(path), why);
  }
  ASSERT_TRUE(write_file(dir.file("good.hv"), "***HEADER>\r\n"));
  EXPECT_EQ(tv::chipset_open_problem(dir.file("good.hv")), "");
}

TEST(ChipsetLoaderFiles, BurnRefusesAnotherPathOrAChangedFile) {
  TempDir dir("burn-loader");
  ASSERT_TRUE(write_file(dir.file("a.hv"), "***HEADER>\r\n"));
  tv::LoadedChipset loaded = tv::load_chipset(dir.file("a.hv"));
  std::string why;
  EXPECT_TRUE(tv::chipset_unchanged(loaded, dir.file("a.hv"), &why)) << why;
  EXPECT_FALSE(tv::chipset_unchanged(loaded, dir.file("b.hv"), &why));
  EXPECT_FALSE(why.empty());
  ASSERT_TRUE(write_file(dir.file("a.hv"), "***HEADER>\r\n***PIC>\r\n"));
  EXPECT_FALSE(tv::chipset_unchanged(loaded, dir.file("a.hv"), &why));
  tv::LoadedChipset reloaded = tv::load_chipset(dir.file("a.hv"));
  // Same size, other time: still a change.
  struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir.file("a.hv").c_str(), times, 0), 0);
  EXPECT_FALSE(tv::chipset_unchanged(reloaded, dir.file("a.hv"), &why));
  unlink(dir.file("a.hv").c_str());
  EXPECT_FALSE(tv::chipset_unchanged(reloaded, dir.file("a.hv"), &why));
}

// Lines the writers would put somewhere else than the file says, or not at
// all, and a section given twice: each a red load error naming its line, and
// the file is refused. Extended-address records with base 0 are harmless.
TEST(ChipsetLoader, MisplacedLinesAreLoadErrorsWithTheirLineNumbers) {
  std::vector<uint8_t> sixteen(16, 0x5A);
  tv::LoadedChipset loaded = parse({
      "***HEADER>", "***PIC>", chipsetgen::hex_record(0, 0xFFF8, sixteen),  // 3: past FFFF
      "***FLASH>", chipsetgen::hex_record(4, 0, {0x00, 0x01}),              // 5: linear base 0001
      chipsetgen::hex_record(4, 0, {0x00, 0x00}),                           // base 0: fine
      chipsetgen::hex_record(2, 0, {0x10, 0x00}),                           // 7: segment base 1000
      "this line is long enough to be taken for a record by the writer",    // 8
      chipsetgen::hex_record(0, 0x0100, {1, 2, 3, 4, 5, 6, 7, 8}),          // 9: not 16 bytes
      chipsetgen::hex_record(0, 0x0200, sixteen),                           // fine
      ":00000001FF", "***OSD>",
      "***FLASH>",                                 // 13: a second FLASH section
      chipsetgen::hex_record(3, 0x0300, sixteen),  // 14: as long as data, not data
  });
  EXPECT_EQ(loaded.load_errors, 7);
  EXPECT_FALSE(tv::chipset_clean(loaded));
  std::vector<std::string> errors;
  for (const tv::LogLine& line : loaded.log)
    if (line.style == tv::kStyleBoldRed) errors.push_back(line.text.substr(0, line.text.find(':')));
  EXPECT_EQ(errors, (std::vector<std::string>{"Line 3", "Line 5", "Line 7", "Line 8", "Line 9", "Line 13",
                                              "Line 14"}));

  // The last PIC record the box can take ends at FFFF.
  tv::LoadedChipset edge = parse({"***PIC>", chipsetgen::hex_record(0, 0xFFF0, sixteen)});
  EXPECT_TRUE(tv::chipset_clean(edge));
  EXPECT_EQ(edge.pic_adr_l, 0x10000);
}

TEST(ChipsetLoaderFiles, ACutOrCorruptGzipFileIsALoadErrorNamingWhere) {
  TempDir dir("burn-loader-gz");
  chipsetgen::Generated generated = chipsetgen::generate(chipsetgen::Options());
  std::string error;
  ASSERT_TRUE(chipsetgen::write_chipset(dir.file("a.hv.gz"), generated.text, true, &error)) << error;
  std::ifstream in(dir.file("a.hv.gz"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  tv::set_trace_enabled(false);
  EXPECT_TRUE(tv::chipset_clean(tv::load_chipset(dir.file("a.hv.gz"))));

  // Two gzip members one after the other read as one text; what follows the
  // last member is no part of the file.
  std::string halves;
  const size_t middle = generated.text.find("***OSD>");
  for (const std::string& half : {generated.text.substr(0, middle), generated.text.substr(middle)}) {
    ASSERT_TRUE(chipsetgen::write_chipset(dir.file("half.gz"), half, true, &error)) << error;
    std::ifstream part(dir.file("half.gz"), std::ios::binary);
    halves.append((std::istreambuf_iterator<char>(part)), std::istreambuf_iterator<char>());
  }
  ASSERT_TRUE(write_file(dir.file("c.hv.gz"), halves));
  tv::LoadedChipset two = tv::load_chipset(dir.file("c.hv.gz"));
  EXPECT_TRUE(tv::chipset_clean(two));
  EXPECT_EQ(two.lines_in(tv::Section::OsdRusFont),
            tv::load_chipset(dir.file("a.hv.gz")).lines_in(tv::Section::OsdRusFont));

  std::string corrupt = bytes;
  corrupt[corrupt.size() / 2] ^= 0x55;
  for (const std::string& damaged :
       {bytes.substr(0, bytes.size() * 95 / 100), corrupt, bytes + "more text\r\n"}) {
    ASSERT_TRUE(write_file(dir.file("b.hv.gz"), damaged));
    tv::LoadedChipset loaded = tv::load_chipset(dir.file("b.hv.gz"));
    EXPECT_FALSE(tv::chipset_clean(loaded));
    bool named = false;
    for (const tv::LogLine& line : loaded.log)
      named |= line.style == tv::kStyleBoldRed && line.text.find("damaged at byte") != std::string::npos;
    EXPECT_TRUE(named);
  }
}

// Two records that write one byte: the flash, which a write can only clear
// bits of, would hold the AND of both (a fault naming both lines); the OSD
// memory keeps the later (a warning). A record past the end of its memory is
// refused: the OSD memory ends at FFFF, the 24-bit flash far above any
// 16-bit record.
TEST(ChipsetLoader, RecordsThatWriteAByteTwiceOrPastTheirMemoryAreNamedByLine) {
  const std::string kFlashTwice = "the flash cannot be written twice without an erase.\n";
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    std::vector<std::string> faults, warnings;
  };
  const Case cases[] = {
      {"flash, one address",
       {"***FLASH>", box_record(0x1A40), box_record(0x1A40, 1)},
       {"Line 3: the flash record at 1A40 overlaps the one on line 2; " + kFlashTwice},
       {}},
      {"flash, partly above",
       {"***FLASH>", box_record(0x1A40), box_record(0x2000), box_record(0x1A4F)},
       {"Line 4: the flash record at 1A4F overlaps the one on line 2; " + kFlashTwice},
       {}},
      {"flash, partly below",
       {"***FLASH>", box_record(0x1A40), box_record(0x1A31)},
       {"Line 3: the flash record at 1A31 overlaps the one on line 2; " + kFlashTwice},
       {}},
      {"flash, a third on the first line's place",
       {"***FLASH>", box_record(0x0100), box_record(0x0108), box_record(0x0100, 2)},
       {"Line 3: the flash record at 0108 overlaps the one on line 2; " + kFlashTwice,
        "Line 4: the flash record at 0100 overlaps the one on line 2; " + kFlashTwice},
       {}},
      {"flash, records side by side",
       {"***FLASH>", box_record(0x1A40), box_record(0x1A50), box_record(0x1A30)},
       {},
       {}},
      {"flash, past FFFF", {"***FLASH>", box_record(0xFFF8)}, {}, {}},
      {"OSD, one address",
       {"***OSD>", box_record(0x0100), box_record(0x0100, 1)},
       {},
       {"Line 3: the OSD record at 0100 overwrites bytes of the one on line 2; the box keeps the later "
        "one.\n"}},
      {"OSD, past FFFF",
       {"***OSD>", box_record(0xFFF0), box_record(0xFFF8)},
       {"Line 3: the OSD record at FFF8 runs past FFFF, the end of its memory.\n"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tv::LoadedChipset loaded = parse(c.lines);
    EXPECT_EQ(lines_in_style(loaded, tv::kStyleBoldRed), c.faults);
    EXPECT_EQ(lines_in_style(loaded, tv::kStyleRed), c.warnings);
    EXPECT_EQ(tv::chipset_clean(loaded), c.faults.empty());
  }
  // The OSD memory, like the box, holds the later record.
  tv::LoadedChipset osd = parse({"***OSD>", box_record(0x0100), box_record(0x0108, 1)});
  const tv::ByteImage& image = *osd.sections->image_of(tv::Section::Osd);
  EXPECT_EQ(image.value(0x0107), uint8_t(0x0100 * 3 + 7));
  EXPECT_EQ(image.value(0x0108), uint8_t(0x0108 * 3 + 41));
}

// Saved by an editor that begins UTF-8 text with a byte-order mark: the first
// marker is still found, plain or compressed, and the load says what it skipped.
TEST(ChipsetLoaderFiles, AByteOrderMarkAtTheStartIsSkippedWithANote) {
  TempDir dir("burn-loader-bom");
  chipsetgen::Options options;
  options.flash_bytes = 256;
  options.osd_bytes = 256;
  options.glyphs = 2;
  const std::string text = chipsetgen::generate(options).text;
  std::string error;
  ASSERT_TRUE(chipsetgen::write_chipset(dir.file("a.hv"), text, false, &error)) << error;
  tv::set_trace_enabled(false);
  const tv::LoadedChipset without = tv::load_chipset(dir.file("a.hv"));
  const std::string note = "The file begins with a UTF-8 byte-order mark, which was skipped.";
  for (bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    ASSERT_TRUE(chipsetgen::write_chipset(dir.file("bom.hv"), "\xEF\xBB\xBF" + text, gzip, &error)) << error;
    const tv::LoadedChipset loaded = tv::load_chipset(dir.file("bom.hv"));
    EXPECT_TRUE(tv::chipset_clean(loaded));
    EXPECT_EQ(loaded.flags, without.flags);
    EXPECT_EQ(loaded.pic, without.pic);
    std::vector<std::string> log = log_texts(without);
    log.insert(log.begin(), note + "\n");
    EXPECT_EQ(log_texts(loaded), log);
    EXPECT_EQ(loaded.notes, std::vector<std::string>{note});
  }
  EXPECT_TRUE(without.notes.empty());
}

// A CR LF pair cut by the loader's 64 KiB read is one line end, not a line
// end and an empty line; the record before it is read whole.
TEST(ChipsetLoaderFiles, ALineEndSplitByTheReadBoundaryIsOneLineEnd) {
  const int records = 2000;
  std::string head = "***HEADER>\r\n";
  const std::string section = "***FLASH>\r\n";
  const size_t record_chars = box_record(0).size() + 2;
  // The padding of the header's second line puts the CR of record 1400 last
  // in the first read, its LF first in the second.
  const size_t cr_at = head.size() + 2 + section.size() + 1400 * record_chars + record_chars - 2;
  ASSERT_LT(cr_at, tv::kChipsetReadBytes);
  head += std::string(tv::kChipsetReadBytes - 1 - cr_at, 'h') + "\r\n";
  std::string text = head + section;
  for (int i = 0; i < records; ++i) text += box_record(i * 16) + "\r\n";
  text += ":00000001FF\r\n";
  ASSERT_EQ(text.substr(tv::kChipsetReadBytes - 1, 2), "\r\n");
  TempDir dir("burn-loader-crlf");
  ASSERT_TRUE(write_file(dir.file("a.hv"), text));
  tv::set_trace_enabled(false);
  const tv::LoadedChipset loaded = tv::load_chipset(dir.file("a.hv"));
  EXPECT_TRUE(tv::chipset_clean(loaded)) << loaded.first_fault;
  EXPECT_EQ(loaded.lines_in(tv::Section::Header), 1);
  EXPECT_EQ(loaded.lines_in(tv::Section::Flash), records + 1);
  const tv::SectionText& lines = *loaded.sections->of(tv::Section::Flash);
  EXPECT_EQ(lines.line(1400), box_record(1400 * 16) + "\r\n");
  const tv::ByteImage& image = *loaded.sections->image_of(tv::Section::Flash);
  EXPECT_EQ(image.byte_count(), records * 16);
  for (int address : {1400 * 16, 1400 * 16 + 15, 1401 * 16})
    EXPECT_EQ(image.value(address), uint8_t(address / 16 * 16 * 3 + address % 16)) << address;
}

// zlib reads concatenated gzip members as one stream; a member that begins in
// one read of the compressed file and goes on in the next loads whole.
TEST(ChipsetLoaderFiles, ASecondGzipMemberAcrossAReadLoadsWhole) {
  TempDir dir("burn-loader-members");
  const std::string text = chipsetgen::generate(chipsetgen::Options()).text;
  const size_t middle = text.find("***FLASH>");
  std::string error, members;
  for (const std::string& part : {text.substr(0, middle), text.substr(middle)}) {
    ASSERT_TRUE(chipsetgen::write_chipset(dir.file("part.gz"), part, true, &error)) << error;
    members += read_bytes(dir.file("part.gz"));
    if (part.size() == middle) ASSERT_LT(members.size(), tv::kChipsetReadBytes);
  }
  ASSERT_GT(members.size(), tv::kChipsetReadBytes);
  ASSERT_TRUE(write_file(dir.file("two.hv.gz"), members));
  ASSERT_TRUE(write_file(dir.file("plain.hv"), text));
  tv::set_trace_enabled(false);
  const tv::LoadedChipset two = tv::load_chipset(dir.file("two.hv.gz"));
  const tv::LoadedChipset plain = tv::load_chipset(dir.file("plain.hv"));
  EXPECT_TRUE(tv::chipset_clean(two)) << two.first_fault;
  EXPECT_EQ(log_texts(two), log_texts(plain));
  for (tv::Section section : {tv::Section::Flash, tv::Section::Osd}) {
    const tv::ByteImage& got = *two.sections->image_of(section);
    const tv::ByteImage& want = *plain.sections->image_of(section);
    ASSERT_EQ(got.byte_count(), want.byte_count());
    for (int address = 0; address < tv::ByteImage::kSpan; ++address)
      if (want.holds(address)) ASSERT_EQ(got.value(address), want.value(address)) << address;
  }
  EXPECT_EQ(two.size, int64_t(members.size()));
}
