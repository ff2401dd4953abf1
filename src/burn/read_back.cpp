#include "burn/read_back.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>

#include "burn/backup_file.h"
#include "burn/log_sentences.h"
#include "link/packets.h"

namespace tv {
namespace {

const char* stage_name(Section stage) { return section_info(stage).stage; }

std::string hex4(int address) { return hex_digits(unsigned(address) & 0xFFFFFF, 4); }

// A box that takes every command: running the section writer against it
// yields what a burn would write, with nothing sent anywhere.
class AcceptingBox : public BoxOps {
 public:
  int osd_clr() override { return 0; }
  int osd_wrt16(int, const char*, uint8_t) override {
    ++writes;
    return 0;
  }
  int osd_wrt_fnt(int, uint8_t) override { return 0; }
  int osd_clr_fnt_page(int, uint8_t) override { return 0; }
  int osd_clr_sysfnt_page(int, uint8_t) override { return 0; }
  int osd_flashR(int, uint8_t*) override { return 0; }
  int osd_read(int, uint8_t*) override { return 0; }
  void line_recovery() override {}
  int writes = 0;
};

class SilentSink : public BurnSink {
 public:
  void log(const std::string&, int) override {}
  void progress(int) override {}
  void done(bool) override {}
};

// Reads of 4 bytes from `start` on until `end` is covered.
std::vector<int> reads_from(int start, int end) {
  std::vector<int> reads;
  for (int address = start; address < end; address += kBytesPerRead) reads.push_back(address);
  return reads;
}

bool port_ready(BoxLink& link, BurnSink& sink) {
  if (link.port().is_open()) return true;
  sink.log(sentence::kPortClosedRead, kStyleBoldRed);
  sink.failed_because(FailureCause::PortClosed);
  sink.done(false);
  return false;
}

}  // namespace

bool readable(Section stage) { return holds_records(stage); }

int readable_size(Section stage) { return stage == Section::Flash ? 1 << 24 : 1 << 16; }

std::vector<int> reads_covering(const WrittenImage& image) {
  std::vector<int> reads;
  for (int address = 0; address < WrittenImage::kSpan; ++address) {
    if (!image.written(address)) continue;
    reads.push_back(address);
    address += kBytesPerRead - 1;
  }
  return reads;
}

WrittenImage image_to_burn(const LoadedChipset& chipset, Section stage, int* records) {
  WrittenImage image;
  AcceptingBox box;
  SilentSink sink;
  const std::atomic<bool> never{false};
  const SectionText* text = chipset.sections ? chipset.sections->of(stage) : nullptr;
  if (readable(stage) && text && (chipset.flags & section_flag(stage))) {
    WriterContext context{box, sink, never, stage_name(stage), &image};
    write_hex_section(context, lines_of(*text), chipset.lines_in(stage), section_info(stage).memory);
  }
  if (records) *records = box.writes;
  return image;
}

WriteResult read_memory(WriterContext& context, Section stage, const std::vector<int>& reads,
                        const ReadHandler& got) {
  const bool flash = stage == Section::Flash;
  int last_percent = -1;
  for (size_t i = 0; i < reads.size(); ++i) {
    const int address = reads[i];
    uint8_t bytes[kBytesPerRead] = {0, 0, 0, 0};
    WriteResult result = retry_with_recovery(context, [&] {
      return flash ? context.box.osd_flashR(address, bytes) : context.box.osd_read(address, bytes);
    });
    if (result != WriteResult::Done) {
      report_write_result(context, result, fill_sentence(sentence::kWhatRead, {hex4(address)}),
                          hex4(address));
      context.sink.stopped_at(stage, address);
      return result;
    }
    got(address, bytes);
    const int percent = int((i + 1) * 100 / reads.size());
    if (percent != last_percent) context.sink.progress(last_percent = percent);
  }
  if (!context.cancel) return WriteResult::Done;
  context.sink.stopped_at(stage, reads.empty() ? -1 : reads.back());
  return WriteResult::Cancelled;
}

// ---- backup -------------------------------------------------------------------

std::string backup_target_problem(const std::string& path) {
  if (path.empty()) return "no file named";
  struct stat info;
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return path + " is a folder";
  size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "there is no folder " + folder;
  if (::access(folder.c_str(), W_OK) != 0) return "the folder " + folder + " cannot be written";
  return std::string();
}

namespace {

class BackupRun {
 public:
  BackupRun(BoxLink& link, const BackupRequest& request, BurnSink& sink, const std::atomic<bool>& cancel)
      : request_(request), sink_(sink), cancel_(cancel), box_(link), health_(request.planned_seconds) {}

  bool read_stage(Section stage, std::vector<uint8_t>* image);
  void run(BoxLink& link);

 private:
  // `why` names a file that could not be written; empty: the reading failed
  // (for `read_result_`) or was cancelled.
  void fail(const std::string& why);

  const BackupRequest& request_;
  BurnSink& sink_;
  const std::atomic<bool>& cancel_;
  LinkBoxOps box_;
  LineHealth health_;
  WriteResult read_result_ = WriteResult::Done;
};

bool BackupRun::read_stage(Section stage, std::vector<uint8_t>* image) {
  sink_.log(fill_sentence(sentence::kReading, {stage_name(stage)}), kStyleBlue);
  sink_.progress(0);
  sink_.stage_begun(stage);
  const int start = request_.start, end = request_.end;
  image->assign(size_t(end - start), 0);
  WriterContext context{box_, sink_, cancel_, stage_name(stage)};
  context.health = &health_;
  WriteResult result =
      read_memory(context, stage, reads_from(start, end), [&](int address, const uint8_t(&bytes)[4]) {
        for (int i = 0; i < kBytesPerRead && address + i < end; ++i)
          (*image)[size_t(address + i - start)] = bytes[i];
      });
  if (result == WriteResult::LineLost) sink_.line_lost();
  sink_.stage_ended(stage, result == WriteResult::Done);
  sink_.progress(0);
  read_result_ = result;
  if (result != WriteResult::Done) return false;
  sink_.log(fill_sentence(sentence::kStageRead, {stage_name(stage), std::to_string(end - start)}),
            kStyleBoldBlue);
  return true;
}

void BackupRun::fail(const std::string& why) {
  if (!why.empty()) {
    sink_.log(fill_sentence(sentence::kBackupFailed, {why}), kStyleBoldRed);
    sink_.failed_because(FailureCause::Unwritable);
  } else if (cancel_) {
    sink_.log(fill_sentence(sentence::kBackupCancelled, {request_.path}), kStyleBoldRed);
  } else {
    sink_.log(fill_sentence(sentence::kBackupNothingWritten, {request_.path}), kStyleBoldRed);
    sink_.failed_because(failure_cause(read_result_));
  }
  sink_.done(false);
}

// Every byte into `fd` (a pipe may take them a piece at a time); false with
// errno set when the reader has gone.
bool write_to_stream(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// A raw backup holds one memory: the bytes as read, nothing around them.
std::string backup_bytes(const BackupRequest& request, const BackupContents& contents) {
  if (!request.raw) return backup_chipset_text(contents);
  const std::vector<uint8_t>& image = contents.flash.empty() ? contents.osd : contents.flash;
  return std::string(image.begin(), image.end());
}

void BackupRun::run(BoxLink& link) {
  if (!port_ready(link, sink_)) return;
  const bool to_stream = request_.raw_fd >= 0;
  // Made before the first read, so a folder that cannot take the file is
  // known at once and not after minutes of reading.
  // What a backup into the same name left when it was killed goes first.
  AtomicFile file;
  std::string error;
  if (!to_stream) {
    for (const std::string& stale : remove_stale_temporaries(request_.path))
      sink_.log(fill_sentence(sentence::kBackupRemovedStale, {stale}), kStyleBlue);
    if (!file.open(request_.path, &error)) return fail(error);
  }
  if (!request_.raw) sink_.log(sentence::kBackupCannotReadAll, kStyleBold);
  BackupContents contents;
  contents.port = request_.port;
  contents.taken = std::time(nullptr);
  contents.first = request_.start;
  if (request_.flash && !read_stage(Section::Flash, &contents.flash)) return fail("");
  if (request_.osd && !read_stage(Section::Osd, &contents.osd)) return fail("");
  // A cancel that came after the last read still leaves no file.
  if (cancel_) return fail("");
  const std::string bytes = backup_bytes(request_, contents);
  if (to_stream && !write_to_stream(request_.raw_fd, bytes))
    return fail(fill_sentence(sentence::kBackupUnsaved,
                              {std::string("cannot write: ") + std::strerror(errno), "standard output"}));
  if (!to_stream && !file.commit(bytes, &error))
    return fail(fill_sentence(sentence::kBackupUnsaved, {error, request_.path}));
  sink_.log(fill_sentence(sentence::kBackupSaved, {to_stream ? "standard output" : request_.path}),
            kStyleBoldGreen);
  sink_.done(true);
}

// ---- compare ------------------------------------------------------------------

class CompareRun {
 public:
  CompareRun(const LoadedChipset& chipset, const CompareSettings& settings, BurnSink& sink,
             const std::atomic<bool>& cancel, BoxLink& link, std::vector<MemoryComparison>* compared)
      : compared_(compared),
        chipset_(chipset),
        settings_(settings),
        sink_(sink),
        cancel_(cancel),
        box_(link),
        health_(settings.planned_seconds) {}

  void run(BoxLink& link);

 private:
  bool chosen(Section stage) const {
    return (chipset_.flags & section_flag(stage)) &&
           (stage == Section::Flash ? settings_.flash : settings_.osd);
  }
  // False when the reading itself failed (the box, the line, a cancel).
  bool compare_stage(Section stage, const WrittenImage& expected);
  void report(Section stage, int compared);
  void fail(const char* line, FailureCause cause);

  std::vector<MemoryComparison>* compared_;
  const LoadedChipset& chipset_;
  const CompareSettings& settings_;
  BurnSink& sink_;
  const std::atomic<bool>& cancel_;
  LinkBoxOps box_;
  LineHealth health_;
  bool differs_ = false;
  WriteResult read_result_ = WriteResult::Done;
  // The first difference of the stage being compared.
  int differ_ = 0, first_address_ = -1;
  uint8_t first_file_ = 0, first_box_ = 0;
};

void CompareRun::report(Section stage, int compared) {
  if (compared_)
    compared_->push_back({stage, compared, differ_, differ_ ? first_address_ : -1, first_file_, first_box_});
  if (differ_ == 0) {
    sink_.log(fill_sentence(sentence::kStageMatches, {stage_name(stage), std::to_string(compared)}),
              kStyleBoldGreen);
    return;
  }
  sink_.log(
      fill_sentence(differ_ == 1 ? sentence::kStageDiffersOne : sentence::kStageDiffersMany,
                    {stage_name(stage), std::to_string(differ_), hex_digits(unsigned(first_address_), 4),
                     hex_digits(first_file_, 2), hex_digits(first_box_, 2)}),
      kStyleBoldRed);
}

bool CompareRun::compare_stage(Section stage, const WrittenImage& expected) {
  sink_.log(fill_sentence(sentence::kComparing, {stage_name(stage)}), kStyleBlue);
  sink_.progress(0);
  sink_.stage_begun(stage);
  differ_ = 0;
  first_address_ = -1;
  int compared = 0;
  WriterContext context{box_, sink_, cancel_, stage_name(stage)};
  context.health = &health_;
  WriteResult result =
      read_memory(context, stage, reads_covering(expected), [&](int address, const uint8_t(&bytes)[4]) {
        for (int i = 0; i < kBytesPerRead && address + i < WrittenImage::kSpan; ++i) {
          if (!expected.written(address + i)) continue;
          ++compared;
          const uint8_t want = expected.value(address + i);
          if (want == bytes[i] || differ_++ > 0) continue;
          first_address_ = address + i;
          first_file_ = want;
          first_box_ = bytes[i];
        }
      });
  if (result == WriteResult::LineLost) sink_.line_lost();
  if (result == WriteResult::Done) report(stage, compared);
  read_result_ = result;
  differs_ = differs_ || differ_ > 0;
  sink_.stage_ended(stage, result == WriteResult::Done && differ_ == 0);
  sink_.progress(0);
  return result == WriteResult::Done;
}

// A compare that was cancelled has no cause to give.
void CompareRun::fail(const char* line, FailureCause cause) {
  sink_.log(line, kStyleBoldRed);
  if (!cancel_) sink_.failed_because(cause);
  sink_.done(false);
}

void CompareRun::run(BoxLink& link) {
  if (!chipset_clean(chipset_)) return fail(sentence::kCompareFileFaulty, FailureCause::FileFaulty);
  if (!port_ready(link, sink_)) return;
  sink_.log(sentence::kCompareCannotReadAll, kStyleBold);
  std::vector<std::pair<Section, WrittenImage>> planned;
  for (Section stage : {Section::Flash, Section::Osd}) {
    if (!chosen(stage)) continue;
    WrittenImage expected = image_to_burn(chipset_, stage);
    if (expected.byte_count() > 0) planned.emplace_back(stage, std::move(expected));
  }
  if (planned.empty()) return fail(sentence::kCompareNothing, FailureCause::FileFaulty);
  bool read_all = true;
  for (const auto& stage : planned)
    if (read_all) read_all = compare_stage(stage.first, stage.second);
  if (!read_all)
    return fail(cancel_ ? sentence::kCompareCancelled : sentence::kCompareUnfinished,
                failure_cause(read_result_));
  if (differs_) return fail(sentence::kBoxDiffers, FailureCause::Mismatch);
  sink_.log(sentence::kBoxMatches, kStyleBoldGreen);
  sink_.done(true);
}

}  // namespace

void run_backup(BoxLink& link, const BackupRequest& request, BurnSink& sink,
                const std::atomic<bool>& cancel) {
  BackupRun(link, request, sink, cancel).run(link);
}

void run_compare(BoxLink& link, const LoadedChipset& chipset, const CompareSettings& settings, BurnSink& sink,
                 const std::atomic<bool>& cancel, std::vector<MemoryComparison>* compared) {
  CompareRun(chipset, settings, sink, cancel, link, compared).run(link);
}

}  // namespace tv
