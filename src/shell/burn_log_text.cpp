#include "shell/burn_log_text.h"

#include "burn/log_sentences.h"
#include "text/catalogue.h"

namespace tv {

const std::vector<BurnLogRendering>& burn_log_renderings() {
  using namespace sentence;
  static const std::vector<BurnLogRendering> table = {
      // a burn
      {kFileFaulty, "bl_file_faulty"},
      {kPortClosedBurn, "bl_port_closed_burn"},
      {kPortClosedRead, "bl_port_closed_read"},
      {kVerifyCannotReadAll, "bl_verify_partial"},
      {kVerifyNothing, "bl_verify_nothing"},
      {kPicSilent, "bl_pic_silent"},
      {kPicNotBurned, "bl_pic_not_burned"},
      {kNothingWritten, "bl_nothing_written"},
      {kStoppedIn, "bl_stopped_in"},
      {kBurnCancelled, "bl_cancelled"},
      {kBurnFailed, "bl_failed"},
      {kWaitBefore, "bl_wait_before"},
      // a stage that failed
      {kFontByteRefused, "bl_font_byte"},
      {kFontPageNotCleared, "bl_font_page"},
      {kRefused, "bl_refused"},
      {kSilentDuring, "bl_silent_during"},
      {kSilentAt, "bl_silent_at"},
      {kLineLostDuring, "bl_line_lost_during"},
      {kLineLostAt, "bl_line_lost_at"},
      {kPoorLineStop, "bl_poor_line"},
      {kWhatRecord, "bl_what_record"},
      {kWhatReadBack, "bl_what_read_back"},
      {kWhatRead, "bl_what_read"},
      {kWhatOsdClear, "bl_what_osd_clear"},
      {kStepClear, "bl_step_clear"},
      {kStepHandshake, "bl_step_handshake"},
      {kStepEndRecord, "bl_step_end_record"},
      {kLineGarbles, "bl_line_garbles"},
      {kLineTooSlow, "bl_line_slow"},
      // Verify
      {kVerified, "bl_verified"},
      {kVerifyFailedOne, "bl_verify_failed_one"},
      {kVerifyFailedMany, "bl_verify_failed_many"},
      {kUnwrittenOne, "bl_unwritten_one"},
      {kUnwrittenMany, "bl_unwritten_many"},
      {kVerifiedYes, "bl_verified_yes"},
      {kVerifiedNo, "bl_verified_no"},
      {kReadBackFlashOsd, "bl_rb_flash_osd"},
      {kReadBackFlash, "bl_rb_flash"},
      {kReadBackOsd, "bl_rb_osd"},
      {kNothingReadable, "bl_nothing_readable"},
      {kByteDiffers, "bl_byte_differs"},
      {kBurnWasStopped, "bl_was_stopped"},
      {kBurnWasFailed, "bl_was_failed"},
      {kBurnDidNotEnd, "bl_did_not_end"},
      // a resume
      {kResumeUnprovable, "bl_resume_unprovable"},
      {kResumeSampling, "bl_resume_sampling"},
      {kResumeSameBox, "bl_resume_same_box"},
      {kResumeSampleDiffers, "bl_resume_sample_differs"},
      {kResumingFlashFrom, "bl_resuming_flash"},
      {kResuming, "bl_resuming"},
      {kNoStages, "bl_no_stages"},
      {kOtherBoxBoth, "bl_other_box_both"},
      {kOtherBoxStarted, "bl_other_box_started"},
      {kOtherBoxPort, "bl_other_box_port"},
      {kOtherBox, "bl_other_box"},
      // a compare
      {kCompareFileFaulty, "bl_cmp_faulty"},
      {kCompareCannotReadAll, "bl_cmp_partial"},
      {kCompareNothing, "bl_cmp_nothing"},
      {kComparing, "bl_comparing"},
      {kStageMatches, "bl_stage_matches"},
      {kStageDiffersOne, "bl_stage_differs_one"},
      {kStageDiffersMany, "bl_stage_differs_many"},
      {kCompareCancelled, "bl_cmp_cancelled"},
      {kCompareUnfinished, "bl_cmp_unfinished"},
      {kBoxDiffers, "bl_box_differs"},
      {kBoxMatches, "bl_box_matches"},
      // a backup
      {kBackupCannotReadAll, "bl_bak_partial"},
      {kReading, "bl_reading"},
      {kStageRead, "bl_stage_read"},
      {kBackupRemovedStale, "bl_bak_removed"},
      {kBackupCancelled, "bl_bak_cancelled"},
      {kBackupNothingWritten, "bl_bak_nothing"},
      {kBackupFailed, "bl_bak_failed"},
      {kBackupUnsaved, "bl_bak_unsaved"},
      {kBackupSaved, "bl_bak_saved"},
      // The most general last: it would take a part of any piece above.
      {kStageAt, "bl_stage_at"},
  };
  return table;
}

namespace {

// Deep enough for a sentence whose part is a piece whose part is a piece
// ("stopped in the wait before FLASH"); the bound keeps a line that happens
// to match a frame again and again from costing more.
constexpr int kMaxDepth = 3;

// The template's fixed texts around its "{}" marks: one more than marks.
std::vector<std::string> fixed_texts(const std::string& pattern) {
  std::vector<std::string> texts;
  size_t from = 0;
  for (size_t mark; (mark = pattern.find("{}", from)) != std::string::npos; from = mark + 2)
    texts.push_back(pattern.substr(from, mark - from));
  texts.push_back(pattern.substr(from));
  return texts;
}

// Whether `text` is the template filled in, and with what. Each part ends
// where the next fixed text first comes, the last where the template ends.
bool match(const std::string& text, const std::string& pattern, std::vector<std::string>* parts) {
  const std::vector<std::string> fixed = fixed_texts(pattern);
  const std::string& head = fixed.front();
  const std::string& tail = fixed.back();
  if (fixed.size() == 1) return text == head;
  if (text.size() < head.size() + tail.size() || text.compare(0, head.size(), head) != 0 ||
      text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const size_t end = text.size() - tail.size();
  size_t at = head.size();
  for (size_t i = 1; i + 1 < fixed.size(); ++i) {
    const size_t next = text.find(fixed[i], at);
    if (next == std::string::npos || next + fixed[i].size() > end) return false;
    parts->push_back(text.substr(at, next - at));
    at = next + fixed[i].size();
  }
  parts->push_back(text.substr(at, end - at));
  return true;
}

std::string fill(const std::string& pattern, const std::vector<std::string>& parts) {
  std::string text;
  size_t from = 0, part = 0;
  for (size_t mark; (mark = pattern.find("{}", from)) != std::string::npos; from = mark + 2) {
    text += pattern.substr(from, mark - from);
    if (part < parts.size()) text += parts[part++];
  }
  return text + pattern.substr(from);
}

std::string in_window_language(const std::string& text, int depth) {
  if (depth >= kMaxDepth || text.empty()) return text;
  for (const BurnLogRendering& rendering : burn_log_renderings()) {
    std::string english = rendering.english;
    const bool sentence = !english.empty() && english.back() == '\n';
    if (sentence != (depth == 0)) continue;
    if (sentence) english.pop_back();
    std::vector<std::string> parts;
    if (!match(text, english, &parts)) continue;
    const std::string words = lang_text_utf8(rendering.key);
    if (words.empty()) return text;  // an older language file: English it is
    for (std::string& part : parts) part = in_window_language(part, depth + 1);
    return fill(words, parts);
  }
  return text;
}

}  // namespace

std::string window_language_line(const std::string& line) {
  const bool ends = !line.empty() && line.back() == '\n';
  const std::string text = in_window_language(ends ? line.substr(0, line.size() - 1) : line, 0);
  return ends ? text + "\n" : text;
}

}  // namespace tv
