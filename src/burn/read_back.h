// Reading the box back. Of the box's memories only the flash and the OSD
// memory answer reads (osd_flashR and osd_read, 4 bytes per exchange); the PIC
// program and the fonts cannot be read. On that rest two jobs that write
// nothing to the box:
//
//   a backup reads the whole flash and OSD memory (or one of them) into a
//   chipset file of our own format, which burns the box back as it was;
//   a compare reads back every address a loaded chipset file would write and
//   names, per memory, how many bytes differ and the first of them.
//
// Both run on a worker thread like a burn, report through a BurnSink (log
// lines with their styles, progress, stage begun and ended) and end with
// exactly one sink.done(ok); a front end runs them as it runs a burn.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "burn/burn_sink.h"
#include "burn/chipset_file.h"
#include "burn/section_writer.h"
#include "link/box_link.h"

namespace tv {

// Record addresses have four hexadecimal digits: a chipset file reaches the
// first 64 KiB of each memory, and a backup reads exactly that.
constexpr int kReadBackSpan = 0x10000;
constexpr int kBytesPerRead = 4;

// The two memories that can be read back, as the stages that write them.
bool readable(Section stage);
// How many bytes of the memory a read can reach: the flash takes 24-bit
// addresses, the OSD memory 16-bit ones.
int readable_size(Section stage);

// The start address of each 4-byte read that covers every byte `image`
// marks, in address order: a run of marked bytes is read 4 at a time from its
// first byte on.
std::vector<int> reads_covering(const WrittenImage& image);

// Exactly what the burn of a loaded file writes into the flash (Section::Flash)
// or the OSD memory (Section::Osd), by address: the section writer run against
// a box that accepts everything, so a compare checks the very bytes a burn
// would send. `records` (when given) receives the number of 16-byte writes.
WrittenImage image_to_burn(const LoadedChipset& chipset, Section stage, int* records = nullptr);

// Reads the box's `stage` memory at each address of `reads`, 4 bytes at a
// time, and hands every answer to `got`. A refused read is retried after the
// line recovery step, as a refused write is; a box that stops answering, a
// lost line or a cancel ends the reading (the failure is logged, with its
// address, in red, and the sink is told where it stopped). Progress goes to
// the sink as the share of reads done.
using ReadHandler = std::function<void(int address, const uint8_t (&bytes)[kBytesPerRead])>;
WriteResult read_memory(WriterContext& context, Section stage, const std::vector<int>& reads,
                        const ReadHandler& got);

// ---- backup -------------------------------------------------------------------

struct BackupRequest {
  std::string path;   // the file to write; gzip when the name ends in ".gz"
  std::string port;   // named in the file's header line
  bool flash = true;  // which memories to read
  bool osd = true;
  double planned_seconds = 0;  // the time bound of LineHealth; 0: none
  // The addresses read of each memory: [start, end).
  int start = 0, end = kReadBackSpan;
  // The bytes as they are, no chipset file: into `path`, or into `raw_fd`
  // (standard output) when that is not -1.
  bool raw = false;
  int raw_fd = -1;
};

// Why `path` cannot take a backup (its folder missing or not writable, a
// folder by that name); empty when it can. Checked before the box is read.
std::string backup_target_problem(const std::string& path);

// Reads the box on `link` and writes the backup. The file appears under its
// name only when every read was answered: until then it is a temporary file
// beside it, removed on any failure or cancel.
void run_backup(BoxLink& link, const BackupRequest& request, BurnSink& sink, const std::atomic<bool>& cancel);

// ---- compare ------------------------------------------------------------------

struct CompareSettings {
  bool flash = true;  // which memories to compare, when the file writes them
  bool osd = true;
  double planned_seconds = 0;  // the time bound of LineHealth; 0: none
};

// How one memory compared, for a script that reads numbers, not sentences.
struct MemoryComparison {
  Section memory = Section::Flash;
  int compared = 0;        // bytes the file writes there
  int differing = 0;       // of those, the bytes the box holds otherwise
  int first_address = -1;  // the first that differs; -1: none
  uint8_t file_byte = 0, box_byte = 0;
};

// Compares the box on `link` with what `chipset` would burn into its flash
// and OSD memory. done(true) only when every byte matches. A file with load
// faults, or no open port, sends nothing. Each memory read to its end is
// added to `compared` (when given) before done().
void run_compare(BoxLink& link, const LoadedChipset& chipset, const CompareSettings& settings, BurnSink& sink,
                 const std::atomic<bool>& cancel, std::vector<MemoryComparison>* compared = nullptr);

}  // namespace tv
