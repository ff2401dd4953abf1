#include "cli/read_modes.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "burn/backup_file.h"
#include "burn/burn_log_file.h"
#include "burn/read_back.h"
#include "burn/sha256.h"
#include "cli/bounded_output.h"
#include "cli/box_round.h"
#include "cli/burn_command.h"
#include "cli/burn_display.h"
#include "link/box_link.h"
#include "link/ports.h"

namespace tv {
namespace {

const Section kReadableStages[] = {Section::Flash, Section::Osd};

unsigned stage_bit(Section stage) { return 1u << int(stage); }

// A section as the file names it: its marker without "***" and ">".
std::string name_in_file(Section section) {
  const std::string marker = section_info(section).marker;
  return marker.substr(3, marker.size() - 4);
}

bool ranged(const BurnOptions& options) { return options.range_start >= 0; }

// A range names its memory; else --sections, else both.
bool memory_chosen(const BurnOptions& options, Section memory) {
  if (ranged(options)) return options.range_memory == memory;
  return !options.sections || (options.sections & section_flag(memory));
}
bool flash_chosen(const BurnOptions& options) { return memory_chosen(options, Section::Flash); }
bool osd_chosen(const BurnOptions& options) { return memory_chosen(options, Section::Osd); }

bool to_standard_output(const BurnOptions& options) { return options.backup == "-"; }

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool parse_hex_address(const std::string& text, long* value) {
  const std::string digits =
      text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0 ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 8 ||
      digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  *value = std::stol(digits, nullptr, 16);
  return true;
}

// Why a --range does not go with the rest of the options; empty when it does.
std::string range_problem(const BurnOptions& options) {
  if (!ranged(options)) return std::string();
  if (options.backup.empty()) return "--range belongs to --backup";
  if (options.sections && options.sections != section_flag(options.range_memory))
    return "--range " + options.range_text + " reads one memory: --sections may name only that one";
  if (!raw_backup(options) && options.range_end > kReadBackSpan)
    return "a chipset file's records reach the first 64 KiB (0-FFFF): write --range " + options.range_text +
           " to a .bin file";
  // A burn writes 16 bytes per record, so a shorter last record would put
  // zeros after the range when the file is burned back.
  if (!raw_backup(options) && (options.range_end - options.range_start) % 16 != 0)
    return "a chipset file holds records of 16 bytes: the length of --range " + options.range_text +
           " must be a multiple of 10 (hexadecimal), or write it to a .bin file";
  return std::string();
}

// Why a raw backup does not go with the rest of the options.
std::string raw_problem(const BurnOptions& options) {
  if (!raw_backup(options)) return std::string();
  const unsigned one_memory = section_flag(Section::Flash) | section_flag(Section::Osd);
  if (!ranged(options) && (options.sections == 0 || options.sections == one_memory))
    return "raw bytes hold one memory: name it with --range or with --sections flash or osd";
  if (to_standard_output(options) && options.json)
    return "--backup - writes the bytes to standard output, which then has room for nothing else: "
           "leave out --json";
  return std::string();
}

// The same job on every port of the options, its saved log headed by
// `header`.
std::vector<PortJob> jobs_on_every_port(const BurnOptions& options, const StagePlan& plan,
                                        const BurnLogHeader& header, const BoxWork& work) {
  std::vector<PortJob> jobs;
  for (const std::string& port : options.ports) {
    PortJob one;
    one.port = port;
    one.job.work = work;
    one.job.plan = plan;
    one.job.log_dir = log_folder(options);
    one.job.log_header = header;
    one.job.log_header.label = port_label(options, port);
    jobs.push_back(std::move(one));
  }
  return jobs;
}

std::string sections_setting(bool flash, bool osd) {
  std::string names = flash ? "Flash" : "";
  if (osd) names += names.empty() ? "OSD" : ",OSD";
  return names;
}

// ---- backup -----------------------------------------------------------------------

bool backup_round(const BurnOptions& options, BoxRound* round, std::string* refusal) {
  const std::string problem =
      to_standard_output(options) ? std::string() : backup_target_problem(options.backup);
  if (!problem.empty()) {
    *refusal = "cannot write the backup " + options.backup + ": " + problem + "; nothing was read";
    return false;
  }
  BackupRequest request;
  request.path = options.backup;
  request.port = options.ports.front();
  request.flash = flash_chosen(options);
  request.osd = osd_chosen(options);
  request.raw = raw_backup(options);
  if (to_standard_output(options)) request.raw_fd = STDOUT_FILENO;
  if (ranged(options)) {
    request.start = options.range_start;
    request.end = options.range_end;
  }

  StagePlan plan;
  const double seconds =
      read_back_seconds(size_t((request.end - request.start + kBytesPerRead - 1) / kBytesPerRead));
  plan.seconds[int(Section::Flash)] = plan.seconds[int(Section::Osd)] = seconds;
  plan.runs[int(Section::Flash)] = request.flash;
  plan.runs[int(Section::Osd)] = request.osd;
  if (!options.patient) request.planned_seconds = plan_total_seconds(plan);

  BurnLogHeader header;
  header.program = "tvbox-burn";
  header.kind = "backup";
  header.chipset_path = options.backup;
  header.settings = {{"sections", sections_setting(request.flash, request.osd)}};
  if (ranged(options)) header.settings.push_back({"range", options.range_text});
  BoxWork work = [request](BoxLink& link, BurnSink& sink, const std::atomic<bool>& cancel) {
    run_backup(link, request, sink, cancel);
  };
  round->jobs = jobs_on_every_port(options, plan, header, work);
  // The JSON names the file the backup wrote, as it is after the round.
  if (to_standard_output(options)) return true;
  round->facts_after = [path = options.backup] {
    ChipsetFacts facts;
    facts.path = path;
    std::string error;
    if (!sha256_file(path, &facts.sha256, &facts.size, &error)) facts.size = -1;
    return facts;
  };
  return true;
}

// ---- compare ----------------------------------------------------------------------

// A compare reads only the flash and the OSD memory: without --sections it
// takes those the file has, so a backup (which has no PIC or font section)
// compares as well as a whole chipset file.
std::string compare_refusal(const LoadedChipset& chipset, const BurnOptions& options) {
  BurnOptions compared = options;
  if (!compared.sections)
    compared.sections = chipset.flags & (section_flag(Section::Flash) | section_flag(Section::Osd));
  if (chipset.opened && chipset.first_fault.empty() && !compared.sections)
    return "has no FLASH or OSD section to compare";
  return chipset_refusal(chipset, compared);
}

bool compare_round(const BurnOptions& options, BoxRound* round, std::string* why) {
  // Shared by every box's job, which may outlive this function.
  auto loaded = std::make_shared<const LoadedChipset>(load_chipset(options.chipset));
  const LoadedChipset& chipset = *loaded;
  std::string refusal = compare_refusal(chipset, options);
  CompareSettings settings;
  settings.flash = flash_chosen(options);
  settings.osd = osd_chosen(options);
  StagePlan plan;
  for (Section stage : kReadableStages) {
    const bool chosen = stage == Section::Flash ? settings.flash : settings.osd;
    const size_t reads = chosen ? reads_covering(image_to_burn(chipset, stage)).size() : 0;
    plan.seconds[int(stage)] = read_back_seconds(reads);
    plan.runs[int(stage)] = reads > 0;
  }
  if (!options.patient) settings.planned_seconds = plan_total_seconds(plan);
  if (refusal.empty() && !plan.runs[int(Section::Flash)] && !plan.runs[int(Section::Osd)])
    refusal = "holds no flash or OSD record to compare";
  ChipsetFacts facts;
  facts.path = options.chipset;
  std::string error;
  if (refusal.empty() && !sha256_file(options.chipset, &facts.sha256, &facts.size, &error)) refusal = error;
  if (!refusal.empty()) {
    *why = options.chipset + ": " + refusal + "; nothing was read";
    return false;
  }

  BurnLogHeader header;
  header.program = "tvbox-burn";
  header.kind = "compare";
  header.chipset_path = facts.path;
  header.chipset_size = facts.size;
  header.chipset_sha256 = facts.sha256;
  header.settings = {
      {"sections", sections_setting(plan.runs[int(Section::Flash)], plan.runs[int(Section::Osd)])}};
  header.load_log = chipset.log;
  round->jobs = jobs_on_every_port(options, plan, header, BoxWork());
  // Each job fills its own list on its worker; they are read once all ended.
  auto comparisons = std::make_shared<std::vector<std::vector<MemoryComparison>>>(round->jobs.size());
  for (size_t i = 0; i < round->jobs.size(); ++i)
    round->jobs[i].job.work = [loaded, settings, comparisons, i](BoxLink& link, BurnSink& sink,
                                                                 const std::atomic<bool>& cancel) {
      run_compare(link, *loaded, settings, sink, cancel, &(*comparisons)[i]);
    };
  round->facts_after = [facts] { return facts; };
  round->comparisons_after = [comparisons] { return *comparisons; };
  return true;
}

// ---- info -------------------------------------------------------------------------

std::string address_text(int address) {
  if (address < 0) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%04X", unsigned(address));
  return text;
}

// "0-3, 5, 8-F": sector numbers in hexadecimal, runs joined.
std::string sector_ranges(const std::vector<int>& sectors) {
  std::string text;
  for (size_t i = 0; i < sectors.size();) {
    size_t end = i;
    while (end + 1 < sectors.size() && sectors[end + 1] == sectors[end] + 1) ++end;
    char run[32];
    if (end == i)
      std::snprintf(run, sizeof run, "%X", unsigned(sectors[i]));
    else
      std::snprintf(run, sizeof run, "%X-%X", unsigned(sectors[i]), unsigned(sectors[end]));
    text += (text.empty() ? "" : ", ") + std::string(run);
    i = end + 1;
  }
  return text;
}

std::string stage_list(unsigned stages) {
  std::string names;
  for (int stage = 0; stage < 5; ++stage)
    if (stages & (1u << stage))
      names += (names.empty() ? "" : ", ") + std::string(stage_display_name(Section(stage)));
  return names;
}

std::string section_line(const SectionSummary& section) {
  char line[160];
  const std::string name = name_in_file(section.section);
  if (!section.present) {
    std::snprintf(line, sizeof line, "  %-13s absent\n", name.c_str());
    return line;
  }
  const SectionWriter writer = section_info(section.section).writer;
  std::string details;
  if (writer == SectionWriter::Font || writer == SectionWriter::SystemFont)
    details = std::to_string(section.glyphs) + " glyphs";
  else if (writer == SectionWriter::HexRecords)
    details = std::to_string(section.bytes) + " bytes";
  if (!section.sectors.empty())
    details +=
        ", " + std::to_string(section.sectors.size()) + " flash sectors: " + sector_ranges(section.sectors);
  const bool records = writer == SectionWriter::PicRecords || writer == SectionWriter::HexRecords;
  std::snprintf(line, sizeof line, "  %-13s %7d %8s  %-5s %-5s %s\n", name.c_str(), section.lines,
                records ? std::to_string(section.records).c_str() : "",
                records ? address_text(section.first_address).c_str() : "",
                records ? address_text(section.last_address).c_str() : "", details.c_str());
  std::string text = line;
  while (!text.empty() && text[text.size() - 2] == ' ') text.erase(text.size() - 2, 1);
  return text;
}

}  // namespace

int run_info_mode(const BurnOptions& options) {
  const LoadedChipset chipset = load_chipset(options.chipset);
  const ChipsetSummary summary = summarize_chipset(options.chipset, chipset);
  BurnVerdict verdict;
  verdict.refusal = chipset_refusal(chipset, options);
  if (!verdict.refusal.empty()) verdict.refusal_line = chipset.first_fault_line;
  const unsigned stages = chosen_stages(chipset, options);
  verdict.stages = stage_list(stages);
  verdict.seconds = burn_estimate(chipset, options, stages);
  const std::string text =
      options.json ? info_json(summary, verdict, options) : info_text(summary, verdict, options);
  write_bounded(STDOUT_FILENO, text, kResultWaitMs);
  return verdict.refusal.empty() ? kExitAllBurned : kExitUsage;
}

namespace {

// "flash delay 5 s (window settings), system font delay 6 s (default),
// verify on (option)": each burn setting and where it came from.
std::string settings_text(const BurnOptions& options) {
  return "flash delay " + std::to_string(options.flash_delay) + " s (" +
         setting_source_text(options.flash_delay_from) + "), system font delay " +
         std::to_string(options.sysfont_delay) + " s (" + setting_source_text(options.sysfont_delay_from) +
         "), verify " + (options.verify ? "on" : "off") + " (" + setting_source_text(options.verify_from) +
         ")";
}

std::string estimate_conditions(const BurnOptions& options) {
  std::string text = "57600 baud, flash delay " + std::to_string(options.flash_delay) + " s";
  if (options.sysfont) text += ", system font delay " + std::to_string(options.sysfont_delay) + " s";
  if (options.verify) text += ", with verify";
  return text;
}

}  // namespace

// From the same plan the burn's display estimates with.
double burn_estimate(const LoadedChipset& chipset, const BurnOptions& options, unsigned stages) {
  return plan_total_seconds(plan_stages(chipset, stages, options.flash_delay, options.sysfont_delay)) +
         read_back_seconds(size_t(verify_reads(chipset, options, stages)));
}

double verify_reads(const LoadedChipset& chipset, const BurnOptions& options, unsigned stages) {
  double reads = 0;
  if (options.verify)
    for (Section stage : kReadableStages)
      if (stages & stage_bit(stage)) reads += double(reads_covering(image_to_burn(chipset, stage)).size());
  return reads;
}

std::string info_text(const ChipsetSummary& summary, const BurnVerdict& verdict, const BurnOptions& options) {
  std::string text = "File:     " + summary.path + "\n";
  if (summary.size >= 0) {
    text += "Size:     " + std::to_string(summary.size) + " bytes\n";
    text += "SHA-256:  " + summary.sha256 + "\n";
  }
  text += "Sections:         lines  records  first last  contents\n";
  for (const SectionSummary& section : summary.sections) text += section_line(section);
  text += summary.faults.empty() ? "Faults:   none\n" : "Faults:\n";
  for (const LoadFault& fault : summary.faults) text += "  " + fault.text + "\n";
  if (!summary.warnings.empty()) text += "Warnings:\n";
  for (const LoadFault& warning : summary.warnings) text += "  " + warning.text + "\n";
  for (const std::string& note : summary.notes) text += "Note:     " + note + "\n";
  text += "Settings: " + settings_text(options) + "\n";
  if (verdict.refusal.empty())
    text += "Burn:     " + verdict.stages + " in about " + clock_text(verdict.seconds) + " (" +
            estimate_conditions(options) + ")\n";
  else
    text += "Burn:     refused: " + verdict.refusal + "\n";
  return text;
}

std::string info_json(const ChipsetSummary& summary, const BurnVerdict& verdict, const BurnOptions& options) {
  using Json = nlohmann::ordered_json;
  Json sections = Json::array();
  for (const SectionSummary& section : summary.sections) {
    Json entry = {{"name", name_in_file(section.section)}, {"present", section.present}};
    if (section.present) {
      entry["lines"] = section.lines;
      const SectionWriter writer = section_info(section.section).writer;
      if (writer == SectionWriter::PicRecords || writer == SectionWriter::HexRecords) {
        entry["records"] = section.records;
        entry["first_address"] = section.first_address < 0 ? Json() : Json(section.first_address);
        entry["last_address"] = section.last_address < 0 ? Json() : Json(section.last_address);
      }
      if (writer == SectionWriter::HexRecords) entry["bytes"] = section.bytes;
      if (section.section == Section::Flash) entry["flash_sectors"] = section.sectors;
      if (writer == SectionWriter::Font || writer == SectionWriter::SystemFont)
        entry["glyphs"] = section.glyphs;
    }
    sections.push_back(entry);
  }
  auto numbered_lines = [](const std::vector<LoadFault>& lines) {
    Json array = Json::array();
    for (const LoadFault& line : lines)
      array.push_back({{"line", line.line > 0 ? Json(line.line) : Json()}, {"text", line.text}});
    return array;
  };
  Json error = nullptr;
  if (!verdict.refusal.empty())
    error = {{"text", summary.path + ": " + verdict.refusal},
             {"line", verdict.refusal_line > 0 ? Json(verdict.refusal_line) : Json()}};
  Json json = json_head("info");
  json.update({
      {"path", summary.path},
      {"size", summary.size >= 0 ? Json(summary.size) : Json()},
      {"sha256", summary.size >= 0 ? Json(summary.sha256) : Json()},
      {"sections", sections},
      {"faults", numbered_lines(summary.faults)},
      {"warnings", numbered_lines(summary.warnings)},
      {"notes", summary.notes},
      {"would_burn", verdict.refusal.empty()},
      {"refusal", verdict.refusal.empty() ? Json() : Json(verdict.refusal)},
      {"estimate",
       {{"stages", verdict.stages},
        {"seconds", double(long(verdict.seconds * 10 + 0.5)) / 10},
        {"baud", 57600},
        {"flash_delay", options.flash_delay},
        {"sysfont_delay", options.sysfont ? Json(options.sysfont_delay) : Json()},
        {"verify", options.verify}}},
      {"settings",
       {{"flash_delay",
         {{"value", options.flash_delay}, {"from", setting_source_text(options.flash_delay_from)}}},
        {"sysfont_delay",
         {{"value", options.sysfont_delay}, {"from", setting_source_text(options.sysfont_delay_from)}}},
        {"verify", {{"value", options.verify}, {"from", setting_source_text(options.verify_from)}}}}},
      {"exit_code", verdict.refusal.empty() ? int(kExitAllBurned) : int(kExitUsage)},
      {"error", error},
  });
  return json_text(json);
}

bool read_mode_chosen(const BurnOptions& options) {
  return !options.backup.empty() || options.compare || options.info;
}

bool parse_memory_range(const std::string& text, Section* memory, int* start, int* end, std::string* error) {
  const size_t colon = text.find(':');
  const std::string name = text.substr(0, colon);
  const size_t dash = colon == std::string::npos ? colon : text.find('-', colon);
  long first = 0, last = 0;
  if ((name != "flash" && name != "osd") || dash == std::string::npos ||
      !parse_hex_address(text.substr(colon + 1, dash - colon - 1), &first) ||
      !parse_hex_address(text.substr(dash + 1), &last)) {
    *error = "takes flash:START-END or osd:START-END in hexadecimal, END not read, not '" + text + "'";
    return false;
  }
  *memory = name == "flash" ? Section::Flash : Section::Osd;
  const long size = readable_size(*memory);
  if (last <= first) {
    *error = text + " is empty: END is the first address not read, after START";
    return false;
  }
  if (last > size) {
    char limit[16];
    std::snprintf(limit, sizeof limit, "%lX", size);
    *error =
        text + " is outside the " + (name == "osd" ? "OSD" : name) + " memory, which ends before " + limit;
    return false;
  }
  *start = int(first);
  *end = int(last);
  return true;
}

bool raw_backup(const BurnOptions& options) {
  return options.backup == "-" || ends_with(options.backup, ".bin");
}

bool read_mode_usage(const BurnOptions& options, std::string* error) {
  if (ranged(options) && options.backup.empty()) {
    *error = "--range belongs to --backup";
    return false;
  }
  const int modes = int(!options.backup.empty()) + int(options.compare) + int(options.info);
  const char* mode = !options.backup.empty() ? "--backup" : options.compare ? "--compare" : "--info";
  if (modes == 0) return true;
  std::string why;
  if (modes > 1)
    why = "--backup, --compare and --info go one at a time";
  else if (!options.backup.empty() && !options.chipset.empty())
    why = "--backup writes the file it names and takes no chipset file ('" + options.chipset + "')";
  else if (!options.backup.empty() && options.ports.size() > 1)
    why = "--backup reads one box at a time: name one port";
  else if (!options.info && (options.sections & ~(section_flag(Section::Flash) | section_flag(Section::Osd))))
    why = std::string(mode) + " reads back only flash and osd: the PIC program and the fonts cannot be read";
  else if (!options.info && (options.sysfont || options.verify_option || options.no_verify_option))
    why = std::string(mode) + " writes nothing: --sysfont, --verify and --no-verify belong to a burn";
  else if (why = range_problem(options); why.empty())
    why = raw_problem(options);
  if (why.empty()) return true;
  *error = why;
  return false;
}

bool read_mode_round(const BurnOptions& options, BoxRound* round, std::string* refusal) {
  return options.compare ? compare_round(options, round, refusal) : backup_round(options, round, refusal);
}

std::string json_mode(const BurnOptions& options) {
  if (options.info) return "info";
  if (options.compare) return "compare";
  if (!options.backup.empty()) return "backup";
  if (options.wait) return "wait";
  return options.resume ? "resume" : "burn";
}

}  // namespace tv
