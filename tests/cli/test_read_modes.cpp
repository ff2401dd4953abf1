// tvbox-burn's modes that write nothing to a box, run as a user runs them
// against simulated boxes: a backup that burns back into another box, a
// compare that names the byte that differs, a backup cut short that leaves
// no file, and --info on a clean and a faulty file.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "boxsim/box_sim.h"
#include "burn/burn_log_file.h"
#include "burn/chipset_file.h"
#include "burn/read_back.h"
#include "burner_process.h"
#include "gen/chipset_gen.h"
#include "support/box_images.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using clitest::Finished;
using Json = nlohmann::json;

constexpr int kDeadlineMs = 180000;
constexpr size_t kSpan = 0x10000;

// The 16-byte records of one section of a (gzip) chipset file, laid out by
// address; `covered` counts the bytes the records gave.
struct SectionImage {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kSpan, 0);
  size_t covered = 0;
  bool end_record = false;
};

SectionImage section_image(const std::string& path, const std::string& marker) {
  SectionImage image;
  gzFile file = gzopen(path.c_str(), "rb");
  if (!file) return image;
  char buffer[256];
  bool inside = false;
  while (gzgets(file, buffer, sizeof buffer)) {
    std::string line = buffer;
    if (line.rfind("***", 0) == 0) {
      inside = line.rfind(marker, 0) == 0;
      continue;
    }
    if (!inside) continue;
    if (line.rfind(":00000001FF", 0) == 0) image.end_record = true;
    if (line.rfind(":10", 0) != 0 || line.size() < 43) continue;
    const size_t address = std::stoul(line.substr(3, 4), nullptr, 16);
    for (size_t i = 0; i < 16 && address + i < kSpan; ++i, ++image.covered)
      image.bytes[address + i] = uint8_t(std::stoul(line.substr(9 + 2 * i, 2), nullptr, 16));
  }
  gzclose(file);
  return image;
}

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<uint8_t> first_64k(const std::vector<uint8_t>& memory) {
  return std::vector<uint8_t>(memory.begin(), memory.begin() + kSpan);
}

std::vector<std::string> folder_entries(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir))
      if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
        names.push_back(entry->d_name);
    closedir(dir);
  }
  return names;
}

using testsupport::only_reads;

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 2;
  }
  return lines;
}

std::string joined_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// The index of the first line after `marker`'s that begins with `start`.
size_t index_after(const std::vector<std::string>& lines, const std::string& marker,
                   const std::string& start) {
  size_t at = size_t(std::find(lines.begin(), lines.end(), marker) - lines.begin()) + 1;
  while (at < lines.size() && lines[at].rfind(start, 0) != 0) ++at;
  return at;
}

std::string filled_record(int address, uint8_t value) {
  return chipsetgen::hex_record(0, address, std::vector<uint8_t>(16, value));
}

Json parse_json(const std::string& text) {
  Json json = Json::parse(text, nullptr, false);
  EXPECT_FALSE(json.is_discarded()) << "not one JSON value:\n" << text;
  return json;
}

class ReadModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(clitest::burner_program().c_str(), X_OK) != 0) GTEST_SKIP() << "tvbox-burn is not built";
    start_box(box_);
  }

  static void start_box(testsupport::SimulatedBox& box) {
    std::string error;
    ASSERT_TRUE(box.start(&error)) << error;
  }

  std::string port_of(testsupport::SimulatedBox& box) { return box.sim().programming_path(); }
  std::vector<std::string> with_log(std::vector<std::string> args) {
    args.insert(args.begin(), {"--log", scratch_.file("logs")});
    return args;
  }

  testsupport::TempDir scratch_{"readback"};
  testsupport::SimulatedBox box_{"read-box"};
};

TEST_F(ReadModeTest, ABackupHoldsTheBoxExactlyAndBurnsAnotherBoxIntoTheSameMemories) {
  boxsim::Faults old;
  old.old_contents = true;
  box_.sim().set_faults(old);
  const boxsim::Memories original = box_.sim().memories();
  const std::string backup = scratch_.file("box.hv.gz");
  // What killed backups left beside the name: one whose process is gone is
  // removed; one of a process still running (this one) and one of another
  // name are not.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
  const std::string stale = scratch_.file(".box.hv.gz.part-" + std::to_string(gone) + "-0"),
                    running = scratch_.file(".box.hv.gz.part-" + std::to_string(getpid()) + "-0"),
                    other = scratch_.file(".box.hv.part-" + std::to_string(gone) + "-0"),
                    not_ours = scratch_.file(".box.hv.gz.part-notes-0");  // a user's file of a like name
  for (const std::string& path : {stale, running, other, not_ours})
    ASSERT_TRUE(testsupport::write_file(path, "part"));

  Finished run = clitest::run_burner(with_log({"--backup", backup, "-p", port_of(box_)}), kDeadlineMs);
  ASSERT_FALSE(run.timed_out);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(access(stale.c_str(), F_OK), 0) << "left by a backup whose process is gone";
  EXPECT_EQ(access(running.c_str(), F_OK), 0);
  EXPECT_EQ(access(other.c_str(), F_OK), 0);
  EXPECT_EQ(access(not_ours.c_str(), F_OK), 0);
  EXPECT_EQ(read_bytes(backup).substr(0, 2), "\x1f\x8b") << "a .gz name is written gzip-compressed";
  EXPECT_TRUE(only_reads(box_.sim().received()));
  EXPECT_EQ(box_.sim().memories().flash, original.flash) << "a backup writes nothing";

  // Every address of both memories, as the box held it, in records the
  // loader takes without a fault.
  const SectionImage flash = section_image(backup, "***FLASH>"), osd = section_image(backup, "***OSD>");
  EXPECT_EQ(flash.covered, kSpan);
  EXPECT_EQ(osd.covered, kSpan);
  EXPECT_TRUE(flash.end_record && osd.end_record);
  EXPECT_EQ(flash.bytes, first_64k(original.flash));
  EXPECT_EQ(osd.bytes, original.osd);
  tv::LoadedChipset loaded = tv::load_chipset(backup);
  EXPECT_TRUE(loaded.opened && tv::chipset_clean(loaded)) << loaded.load_errors << " load errors";
  EXPECT_EQ(loaded.flags, tv::kSectionHeader | tv::kSectionFlash | tv::kSectionOsd);
  ASSERT_FALSE(loaded.log.empty());
  const std::string header = loaded.log.front().text;  // the header line's title
  EXPECT_EQ(header.rfind(" TV Box backup of the box on " + port_of(box_) + ", read 20", 0), 0u) << header;
  EXPECT_NE(header.find("The PIC program and the fonts cannot be read"), std::string::npos) << header;

  std::vector<std::string> logs = folder_entries(scratch_.file("logs"));
  ASSERT_EQ(logs.size(), 1u);
  std::ifstream in(scratch_.file("logs/" + logs[0]));
  std::stringstream log_text;
  log_text << in.rdbuf();
  const std::string log = log_text.str();
  EXPECT_EQ(log.rfind("TV Box backup log", 0), 0u) << log;
  EXPECT_NE(log.find("Outcome:  OK"), std::string::npos) << log;
  EXPECT_NE(log.find("Removed " + stale), std::string::npos) << log;
  EXPECT_EQ(log.find("Verified:"), std::string::npos) << "a backup burns nothing to verify: " << log;

  // The backup compares with the box it came from without --sections: a
  // compare needs only its FLASH and OSD, not the PIC and font sections.
  run = clitest::run_burner(with_log({"--compare", "-p", port_of(box_), backup}), kDeadlineMs);
  EXPECT_EQ(run.exit_code, 0) << run.err << run.out;

  // One memory alone: the OSD's records, every address, and no FLASH section.
  const std::string osd_only = scratch_.file("osd.hv");
  run = clitest::run_burner(with_log({"--backup", osd_only, "--sections", "osd", "-p", port_of(box_)}),
                            kDeadlineMs);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(section_image(osd_only, "***OSD>").bytes, original.osd);
  EXPECT_EQ(section_image(osd_only, "***FLASH>").covered, 0u);
  EXPECT_EQ(tv::load_chipset(osd_only).flags, tv::kSectionHeader | tv::kSectionOsd);

  // Burned back into a fresh box: the same flash and OSD memory.
  testsupport::SimulatedBox fresh{"read-fresh"};
  start_box(fresh);
  run = clitest::run_burner(with_log({"-p", port_of(fresh), "--sections", "flash,osd", backup}), kDeadlineMs);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(first_64k(fresh.sim().memories().flash), first_64k(original.flash));
  EXPECT_EQ(fresh.sim().memories().osd, original.osd);
}

// Two boxes burned from one file, one of which stores a flash byte wrong
// while echoing it right: the compare reads both and finds that byte alone.
TEST_F(ReadModeTest, ACompareFindsTheWrongFlashByteAndWritesNothing) {
  testsupport::SimulatedBox wrong{"read-wrong"};
  start_box(wrong);
  boxsim::Faults faults;
  faults.wrong_flash_byte = 0x0123;
  wrong.sim().set_faults(faults);
  const chipsetgen::Generated generated = chipsetgen::generate(testsupport::small_chipset_options());
  const std::string chipset = scratch_.file("firmware.hv");
  std::string error;
  ASSERT_TRUE(chipsetgen::write_chipset(chipset, generated.text, false, &error)) << error;
  Finished burn = clitest::run_burner(with_log({"-p", port_of(box_), "-p", port_of(wrong), "--sections",
                                                "flash,osd", "--no-verify", chipset}),
                                      kDeadlineMs);
  ASSERT_EQ(burn.exit_code, 0) << burn.err;
  // The burn's closing line may still be on its way to a box when the burner
  // has exited: the count starts only once both boxes have it.
  const auto burn_ended = [](testsupport::SimulatedBox& box) {
    return testsupport::wait_for(
        [&] {
          const std::vector<uint8_t> sent = box.sim().received();
          const std::string closing = "ZZZZ       \r";
          return sent.size() >= closing.size() &&
                 std::equal(closing.begin(), closing.end(), sent.end() - closing.size());
        },
        5000);
  };
  ASSERT_TRUE(burn_ended(box_) && burn_ended(wrong));
  box_.sim().clear_received();
  wrong.sim().clear_received();
  const uint64_t erases = box_.sim().stats().sector_erases + wrong.sim().stats().sector_erases;

  Finished run = clitest::run_burner(
      with_log({"--compare", "--json", "-p", port_of(box_), "-p", port_of(wrong), chipset}), kDeadlineMs);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 1) << run.err;
  Json summary = parse_json(run.out);
  ASSERT_EQ(summary["boxes"].size(), 2u) << run.out;
  EXPECT_TRUE(summary["boxes"][0]["ok"].get<bool>()) << run.out;
  EXPECT_EQ(summary["boxes"][1]["result"].get<std::string>(), "FAILED");
  EXPECT_NE(summary["boxes"][1]["first_failure"].get<std::string>().find(
                "FLASH differs from the file: 1 byte differs, "
                "first at 0x0123"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(summary["boxes"][1]["failure"]["kind"], "verify mismatch") << run.out;
  EXPECT_EQ(summary["exit_code"].get<double>(), 1);
  // The same in numbers, per memory: a script need not read the sentence.
  const tv::LoadedChipset loaded = tv::load_chipset(chipset);
  const int flash_bytes = int(tv::image_to_burn(loaded, tv::Section::Flash).byte_count());
  const int osd_bytes_compared = int(tv::image_to_burn(loaded, tv::Section::Osd).byte_count());
  const Json differing = {{"memory", "FLASH"},
                          {"bytes_compared", flash_bytes},
                          {"bytes_differing", 1},
                          {"first_difference", 0x0123},
                          {"file_byte", generated.images.flash[0x0123]},
                          {"box_byte", wrong.sim().memories().flash[0x0123]}};
  const Json osd_same = {{"memory", "OSD"},      {"bytes_compared", osd_bytes_compared},
                         {"bytes_differing", 0}, {"first_difference", nullptr},
                         {"file_byte", nullptr}, {"box_byte", nullptr}};
  EXPECT_EQ(summary["boxes"][1]["memories"], Json({differing, osd_same})) << run.out;
  EXPECT_EQ(summary["boxes"][0]["memories"][0]["bytes_differing"], 0) << run.out;
  EXPECT_EQ(summary["boxes"][0]["memories"].size(), 2u) << run.out;
  // Each memory with its own count: the flash's one byte does not make the
  // OSD differ.
  const std::string osd_bytes =
      std::to_string(tv::image_to_burn(tv::load_chipset(chipset), tv::Section::Osd).byte_count());
  const std::string wrong_log = read_bytes(summary["boxes"][1]["log"].get<std::string>());
  EXPECT_NE(wrong_log.find("OSD matches the file: " + osd_bytes + " bytes"), std::string::npos) << wrong_log;
  EXPECT_TRUE(only_reads(box_.sim().received()));
  EXPECT_TRUE(only_reads(wrong.sim().received()));
  EXPECT_EQ(box_.sim().stats().sector_erases + wrong.sim().stats().sector_erases, erases);
  EXPECT_EQ(box_.sim().memories().flash, generated.images.flash) << "the compare changed the box";

  // --sections flash compares the flash alone.
  run = clitest::run_burner(
      with_log({"--compare", "--json", "--sections", "flash", "-p", port_of(wrong), chipset}), kDeadlineMs);
  EXPECT_EQ(run.exit_code, 1) << run.err;
  const std::string flash_log = read_bytes(parse_json(run.out)["boxes"][0]["log"].get<std::string>());
  EXPECT_NE(flash_log.find("FLASH differs from the file: 1 byte differs, first at 0x0123"), std::string::npos)
      << flash_log;
  EXPECT_EQ(flash_log.find("Comparing OSD"), std::string::npos) << flash_log;

  // The good box alone compares equal; the --log folder, the user's own, is
  // never pruned, even of logs long past the default folder's keeping.
  const std::string old_log = scratch_.file("logs") + "/" + tv::burn_log_file_name(0, "com3");
  ASSERT_TRUE(testsupport::write_file(old_log, "old"));
  const utimbuf long_ago{0, 0};
  ASSERT_EQ(utime(old_log.c_str(), &long_ago), 0);
  run = clitest::run_burner(with_log({"--compare", "-p", port_of(box_), chipset}), kDeadlineMs);
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(access(old_log.c_str(), F_OK), 0) << "a log of the --log folder was removed";
}

// A box that falls silent halfway, and a ctrl-C: neither leaves a file under
// the name, nor a temporary one beside it.
TEST_F(ReadModeTest, ABackupCutShortLeavesNoFile) {
  boxsim::Faults faults;
  faults.silent_after = 5000;
  box_.sim().set_faults(faults);
  const std::string backup = scratch_.file("box.hv");
  Finished run = clitest::run_burner(with_log({"--backup", backup, "-p", port_of(box_)}), kDeadlineMs);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_NE(run.out.find("stopped answering at FLASH"), std::string::npos) << run.out;
  EXPECT_EQ(folder_entries(scratch_.path()), std::vector<std::string>{"logs"});

  // Slowed down, so the backup is still reading when the ctrl-C comes.
  faults = boxsim::Faults();
  faults.answer_delay_ms = 1;
  box_.sim().set_faults(faults);
  clitest::BurnerProcess burner(with_log({"--backup", backup, "-p", port_of(box_)}));
  const uint64_t before = box_.sim().stats().packets;
  ASSERT_TRUE(testsupport::wait_for([&] { return box_.sim().stats().packets > before + 2000; }, 60000));
  kill(burner.pid(), SIGINT);
  run = burner.finish(30000);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 130) << run.err;
  EXPECT_EQ(folder_entries(scratch_.path()), std::vector<std::string>{"logs"});
}

TEST_F(ReadModeTest, InfoTellsWhatAFileHoldsAndRefusesAFaultyOneByItsLines) {
  const chipsetgen::Generated generated = chipsetgen::generate(testsupport::small_chipset_options());
  const std::string clean = scratch_.file("clean.hv.gz"), faulty = scratch_.file("faulty.hv");
  std::string error;
  ASSERT_TRUE(chipsetgen::write_chipset(clean, generated.text, true, &error)) << error;

  // The window saved a flash delay; each setting says where it came from.
  clitest::Launch window_saved;
  window_saved.env = {"HOME=" + scratch_.file("home")};
  std::filesystem::create_directories(scratch_.file("home/.foxrc/Harnvale"));
  ASSERT_TRUE(
      testsupport::write_file(scratch_.file("home/.foxrc/Harnvale/TV Box"), "[settings]\nflash_delay=5\n"));
  Finished run = clitest::run_burner({"--info", "--no-verify", clean}, window_saved, 20000);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("Settings: flash delay 5 s (window settings), system font delay 6 s (default), "
                         "verify off (option)\n"),
            std::string::npos)
      << run.out;

  run = clitest::run_burner({"--info", "--json", "-p", port_of(box_), clean}, window_saved, 20000);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  Json info = parse_json(run.out);
  EXPECT_EQ(info["settings"]["flash_delay"]["from"], "window settings") << run.out;
  EXPECT_EQ(info["settings"]["verify"], Json({{"value", true}, {"from", "default"}})) << run.out;
  EXPECT_TRUE(info["would_burn"].get<bool>());
  EXPECT_EQ(info["sha256"].get<std::string>().size(), 64u);
  ASSERT_EQ(info["sections"].size(), 6u);
  const Json& flash = info["sections"][2];
  EXPECT_EQ(flash["name"].get<std::string>(), "FLASH");
  EXPECT_EQ(flash["records"].get<double>(), 4096 / 16);
  EXPECT_EQ(flash["first_address"].get<double>(), 0);
  EXPECT_EQ(flash["last_address"].get<double>(), 4095);
  EXPECT_EQ(flash["flash_sectors"].size(), 1u);
  EXPECT_EQ(info["sections"][4]["glyphs"].get<double>(), 2);
  EXPECT_GT(info["estimate"]["seconds"].get<double>(), 10);
  EXPECT_TRUE(info["faults"].empty());

  // A record of 8 bytes in the FLASH section, on a line of its own.
  std::string text = generated.text;
  const size_t record = text.find("\r\n:10", text.find("***FLASH>")) + 2;
  text.insert(record,
              ":08000000"
              "0000000000000000"
              "F8\r\n");
  const int line = int(std::count(text.begin(), text.begin() + long(record), '\n')) + 1;
  ASSERT_TRUE(testsupport::write_file(faulty, text));
  for (bool json : {false, true}) {
    run = clitest::run_burner(json ? std::vector<std::string>{"--info", "--json", faulty}
                                   : std::vector<std::string>{"--info", faulty},
                              20000);
    EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
    const std::string named = "Line " + std::to_string(line) + ": a data record of 8 bytes";
    EXPECT_NE(run.out.find(named), std::string::npos) << run.out;
    if (json)
      EXPECT_EQ(parse_json(run.out)["faults"].at(0)["line"].get<double>(), line) << run.out;
    else
      EXPECT_NE(run.out.find("Burn:     refused: does not load cleanly"), std::string::npos) << run.out;
  }
  EXPECT_TRUE(box_.sim().received().empty()) << "--info opens no port";
}

// --info on files edited by hand, as text and as JSON: what it says of the
// flash sectors, of a part burn, of records that write a byte twice or past
// the OSD memory, and of a byte-order mark; and its exit status.
TEST_F(ReadModeTest, InfoNamesSectorsWarningsNotesAndRefusalsOfHandMadeFiles) {
  const std::string generated = chipsetgen::generate(testsupport::small_chipset_options()).text;
  using Edit = std::function<void(std::vector<std::string>&)>;
  struct Case {
    const char* what;
    Edit edit;
    std::vector<std::string> options;
    int exit_code;
    std::vector<std::string> said;  // in the text
    std::function<void(const Json&)> check;
  };
  // Line numbers count from 1: the index of a line plus 1.
  const size_t flash = index_after(split_lines(generated), "***FLASH>", ":10");
  const size_t osd = index_after(split_lines(generated), "***OSD>", ":10");
  const std::string flash_line = std::to_string(flash + 1), osd_line = std::to_string(osd + 1);
  const Case cases[] = {
      {"flash sectors with a gap",
       [](std::vector<std::string>& lines) {
         const size_t end = index_after(lines, "***FLASH>", ":00000001FF");
         lines.insert(lines.begin() + long(end),
                      {filled_record(0x1000, 1), filled_record(0x2FF8, 2), filled_record(0x5000, 3)});
       },
       {},
       0,
       {"5 flash sectors: 0-3, 5\n", "Faults:   none\n"},
       [](const Json& info) {
         EXPECT_EQ(info["sections"][2]["flash_sectors"], Json::parse("[0, 1, 2, 3, 5]"));
         EXPECT_EQ(info["sections"][2]["last_address"], 0x500F);
       }},
      {"the PIC alone",
       [](std::vector<std::string>&) {},
       {"--sections", "pic"},
       0,
       {"Burn:     PIC in about "},
       [](const Json& info) { EXPECT_EQ(info["estimate"]["stages"], "PIC"); }},
      {"the PIC alone from a file without one",
       [](std::vector<std::string>& lines) {
         const size_t pic = index_after(lines, "***HEADER> generated chipset", "***PIC>");
         lines.erase(lines.begin() + long(pic), lines.begin() + long(index_after(lines, "***PIC>", "***")));
       },
       {"--sections", "pic"},
       2,
       {"  PIC           absent\n", "Burn:     refused: has no PIC section\n"},
       [](const Json& info) { EXPECT_EQ(info["refusal"], "has no PIC section"); }},
      {"a flash record twice",
       [flash](std::vector<std::string>& lines) {
         lines.insert(lines.begin() + long(flash) + 1, lines[flash]);
       },
       {},
       2,
       {"  Line " + std::to_string(flash + 2) + ": the flash record at 0000 overlaps the one on line " +
            flash_line,
        "Burn:     refused: does not load cleanly: Line " + std::to_string(flash + 2)},
       [flash](const Json& info) { EXPECT_EQ(info["faults"][0]["line"], flash + 2); }},
      {"an OSD record twice",
       [osd](std::vector<std::string>& lines) { lines.insert(lines.begin() + long(osd) + 1, lines[osd]); },
       {},
       0,
       {"Faults:   none\nWarnings:\n  Line " + std::to_string(osd + 2) +
            ": the OSD record at 0000 overwrites bytes of the one on line " + osd_line,
        "Burn:     PIC, FLASH, OSD, RusFont in about"},
       [osd](const Json& info) {
         EXPECT_TRUE(info["faults"].empty());
         ASSERT_EQ(info["warnings"].size(), 1u);
         EXPECT_EQ(info["warnings"][0]["line"], osd + 2);
       }},
      {"an OSD record past FFFF",
       [osd](std::vector<std::string>& lines) {
         lines.insert(lines.begin() + long(osd), filled_record(0xFFF8, 7));
       },
       {},
       2,
       {"  Line " + osd_line + ": the OSD record at FFF8 runs past FFFF, the end of its memory.\n"},
       [osd](const Json& info) {
         EXPECT_EQ(info["faults"][0]["line"], osd + 1);
         EXPECT_EQ(info["sections"][3]["last_address"], 0xFFFF);
       }},
      {"a byte-order mark",
       [](std::vector<std::string>& lines) { lines[0] = "\xEF\xBB\xBF" + lines[0]; },
       {},
       0,
       {"Note:     The file begins with a UTF-8 byte-order mark, which was skipped.\n",
        "Burn:     PIC, FLASH"},
       [](const Json& info) {
         EXPECT_EQ(info["notes"],
                   Json::parse("[\"The file begins with a UTF-8 byte-order mark, which was skipped.\"]"));
         EXPECT_TRUE(info["would_burn"].get<bool>());
       }},
  };
  const std::string path = scratch_.file("edited.hv");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> lines = split_lines(generated);
    c.edit(lines);
    ASSERT_TRUE(testsupport::write_file(path, joined_lines(lines)));
    for (bool json : {false, true}) {
      std::vector<std::string> args = {"--info"};
      if (json) args.push_back("--json");
      args.insert(args.end(), c.options.begin(), c.options.end());
      args.push_back(path);
      Finished run = clitest::run_burner(args, 20000);
      ASSERT_FALSE(run.timed_out);
      EXPECT_EQ(run.exit_code, c.exit_code) << run.out << run.err;
      if (json) {
        Json info = parse_json(run.out);
        EXPECT_EQ(info["exit_code"], c.exit_code);
        c.check(info);
      } else {
        for (const std::string& said : c.said)
          EXPECT_NE(run.out.find(said), std::string::npos) << said << "\n" << run.out;
      }
    }
  }
}

// A backup of a range, or of raw bytes, holds exactly the box's bytes there:
// into a .bin file, to standard output (which then carries nothing else), or
// as 16-byte records of a chipset file that loads and would burn back just
// that range. The flash takes 24-bit addresses, so a raw range may lie
// beyond the first 64 KiB; an unaligned start reads from that byte on.
TEST_F(ReadModeTest, ARangeOrRawBackupHoldsExactlyThoseBytesOfTheBox) {
  boxsim::Faults old;
  old.old_contents = true;
  box_.sim().set_faults(old);
  const boxsim::Memories memories = box_.sim().memories();
  enum Into { Bin, Stdout, Chipset };
  struct Case {
    std::vector<std::string> args;
    tv::Section memory;
    size_t start, end;
    Into into;
  };
  const std::string bin = scratch_.file("part.bin"), hv = scratch_.file("part.hv");
  const Case cases[] = {
      {{"--backup", bin, "--range", "flash:1003-1236"}, tv::Section::Flash, 0x1003, 0x1236, Bin},
      {{"--backup", bin, "--range", "flash:FFFF8-0x10000C"}, tv::Section::Flash, 0xFFFF8, 0x10000C, Bin},
      {{"--backup", "-", "--range", "osd:7-4A"}, tv::Section::Osd, 7, 0x4A, Stdout},
      {{"--backup", bin, "--sections", "osd"}, tv::Section::Osd, 0, kSpan, Bin},
      {{"--backup", hv, "--range", "flash:208-248"}, tv::Section::Flash, 0x208, 0x248, Chipset},
      {{"--backup", hv, "--sections", "osd", "--range", "osd:FFE0-10000"},
       tv::Section::Osd,
       0xFFE0,
       kSpan,
       Chipset},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2] + " " + c.args[3]);
    std::vector<std::string> args = with_log(c.args);
    args.insert(args.end(), {"-p", port_of(box_)});
    Finished run = clitest::run_burner(args, kDeadlineMs);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<uint8_t>& memory = c.memory == tv::Section::Flash ? memories.flash : memories.osd;
    const std::string expected(memory.begin() + long(c.start), memory.begin() + long(c.end));
    if (c.into == Bin) {
      EXPECT_TRUE(read_bytes(bin) == expected) << "the .bin differs";
    }
    if (c.into == Stdout) {
      EXPECT_TRUE(run.out == expected) << "standard output holds more or other than the bytes";
      EXPECT_NE(run.err.find("Summary:"), std::string::npos) << run.err;
    }
    if (c.into != Chipset) continue;
    const tv::LoadedChipset loaded = tv::load_chipset(hv);
    ASSERT_TRUE(loaded.opened && loaded.first_fault.empty()) << read_bytes(hv);
    const tv::WrittenImage image = tv::image_to_burn(loaded, c.memory);
    EXPECT_EQ(size_t(image.byte_count()), c.end - c.start) << read_bytes(hv);
    for (size_t address = c.start; address < c.end; ++address) {
      ASSERT_TRUE(image.written(int(address))) << std::hex << address;
      ASSERT_EQ(image.value(int(address)), memory[address]) << std::hex << address;
    }
  }
}

TEST_F(ReadModeTest, UsageErrorsExitTwoAndTouchNoBox) {
  testsupport::SimulatedBox second{"read-second"};
  start_box(second);
  const std::string backup = scratch_.file("b.hv");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--backup", backup, "-p", port_of(box_), "-p", port_of(second)},
           {"--backup", backup, "--sections", "pic", "-p", port_of(box_)},
           {"--backup", scratch_.file("no-such-folder/b.hv"), "-p", port_of(box_)},
           {"--compare", "--info", scratch_.file("x.hv")},
           {"--compare", "--verify", "-p", port_of(box_), scratch_.file("x.hv")},
           {"--backup", backup, "--no-verify", "-p", port_of(box_)},
           {"--compare", "-p", port_of(box_), scratch_.file("no-such.hv")},
           {"--backup", scratch_.file("b.bin"), "-p", port_of(box_)},
           {"--backup", scratch_.file("b.bin"), "--sections", "flash,osd", "-p", port_of(box_)},
           {"--backup", scratch_.file("b.bin"), "--range", "flash:10-10", "-p", port_of(box_)},
           {"--backup", scratch_.file("b.bin"), "--range", "osd:0-10001", "-p", port_of(box_)},
           {"--backup", scratch_.file("b.bin"), "--range", "flash:0-1000001", "-p", port_of(box_)},
           {"--backup", scratch_.file("b.bin"), "--range", "rom:0-10", "-p", port_of(box_)},
           {"--backup", scratch_.file("b.bin"), "--range", "flash:0-10", "--sections", "osd", "-p",
            port_of(box_)},
           {"--backup", backup, "--range", "flash:0-18", "-p", port_of(box_)},
           {"--backup", backup, "--range", "flash:0-10010", "-p", port_of(box_)},
           {"--backup", "-", "--range", "osd:0-4", "--json", "-p", port_of(box_)},
           {"--range", "osd:0-4", "-p", port_of(box_), scratch_.file("x.hv")},
           {"--wait", "--backup", backup, "-p", port_of(box_)}}) {
    Finished run = clitest::run_burner(args, 20000);
    EXPECT_EQ(run.exit_code, 2) << ::testing::PrintToString(args) << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_TRUE(box_.sim().received().empty());
  EXPECT_TRUE(second.sim().received().empty());
  EXPECT_EQ(folder_entries(scratch_.path()), std::vector<std::string>{});
}

}  // namespace
