// The sentences the burn, the compare and the backup write to the burn log
// besides the stages' own lines ("Burning PIC...", "PIC Burned OK!"), each as
// one template whose "{}" marks take its variable parts in order.
//
// They are English, and stay so wherever they are printed or saved: tvbox-burn
// prints them, the saved burn logs keep them, and read_saved_burn reads those
// back. The window shows them in its own language: it finds the template of
// each line it shows and fills the same parts into the catalogue's sentence
// (shell/burn_log_text.h). So a sentence is only ever written through these
// templates, and one that changes here changes for both.
//
// Sentences end with their line end; the pieces that other sentences take as
// a variable part (what was refused, where a burn stopped, why the line is
// poor) have none, and are never a line of their own.
#pragma once

#include <initializer_list>
#include <string>

namespace tv::sentence {

// ---- a burn ----------------------------------------------------------------
inline constexpr char kFileFaulty[] =
    "This chipset file cannot be burned: the load log names its faulty lines.\n";
inline constexpr char kPortClosedBurn[] = "The programming port is not open: nothing was sent to the box.\n";
inline constexpr char kPortClosedRead[] =
    "The programming port is not open: nothing was read from the box.\n";
inline constexpr char kVerifyCannotReadAll[] =
    "Verify reads back the flash and the OSD memory; the PIC program and the fonts cannot be read back "
    "from this box.\n";
inline constexpr char kVerifyNothing[] =
    "The fonts cannot be read back from this box: there is nothing to verify.\n";
inline constexpr char kPicSilent[] = "PIC: the box sent not one byte back; the later stages are left out.\n";
inline constexpr char kPicNotBurned[] = "PIC was not burned.\n";
inline constexpr char kNothingWritten[] = "Nothing was written to this box.\n";
inline constexpr char kStoppedIn[] = "The burn was stopped in {}.\n";  // where_text
inline constexpr char kBurnCancelled[] = "Burning cancelled.\n";
inline constexpr char kBurnFailed[] = "Burning failed: {}.\n";  // the stages that failed

// Where a burn stopped: a stage, a stage and the address it had reached, or
// the pause before a stage.
inline constexpr char kStageAt[] = "{} at {}";
inline constexpr char kWaitBefore[] = "the wait before {}";

// ---- a stage that failed -----------------------------------------------------
inline constexpr char kRefused[] = "{}: {} was refused {} times.\n";  // section, what, attempts
inline constexpr char kSilentDuring[] = "The box stopped answering during the {} {}.\n";
inline constexpr char kSilentAt[] = "The box stopped answering at {} {}.\n";
inline constexpr char kLineLostDuring[] = "{}: the line to the box was lost during the {}.\n";
inline constexpr char kLineLostAt[] = "{}: the line to the box was lost at {}.\n";
inline constexpr char kPoorLineStop[] = "{}: stopped at {}: {}.\n";  // section, address, line_verdict
inline constexpr char kFontPageNotCleared[] = "{}: the font page at {} could not be cleared.\n";
inline constexpr char kFontByteRefused[] = "{}: the font byte at {} (line {}) was refused {} times.\n";

// What was refused, and the PIC steps the line can be lost at.
inline constexpr char kWhatRecord[] = "the record for address {} (line {})";
inline constexpr char kWhatReadBack[] = "the read-back at {}";
inline constexpr char kWhatRead[] = "the read at {}";
inline constexpr char kWhatOsdClear[] = "the clear of the OSD memory";
inline constexpr char kStepClear[] = "clear";
inline constexpr char kStepHandshake[] = "the hand-shake";
inline constexpr char kStepEndRecord[] = "the end record";

// Why a line is too poor to go on with (LineHealth::verdict).
inline constexpr char kLineGarbles[] =
    "the line loses or garbles too much: {}% of the last {} packets were retried; check the cable and the "
    "adapter";
inline constexpr char kLineTooSlow[] =
    "the line is too slow: the job has taken {} times its planned {} s ({}% of the last {} packets were "
    "retried); check the cable and the adapter";

// ---- Verify ----------------------------------------------------------------
inline constexpr char kVerified[] = "{} verified: {} bytes\n";
inline constexpr char kVerifyFailedOne[] =
    "{} verify failed: {} byte differs, first at 0x{} (file {}, box {})\n";
inline constexpr char kVerifyFailedMany[] =
    "{} verify failed: {} bytes differ, first at 0x{} (file {}, box {})\n";
inline constexpr char kUnwrittenOne[] = "{} verify failed: {} byte of the file not written, first at 0x{}\n";
inline constexpr char kUnwrittenMany[] =
    "{} verify failed: {} bytes of the file not written, first at 0x{}\n";
// The burn's closing verdict (BurnVerification::log_line) and its reasons.
inline constexpr char kVerifiedYes[] = "Verified: yes ({})\n";
inline constexpr char kVerifiedNo[] = "Verified: no ({})\n";
inline constexpr char kReadBackFlashOsd[] = "flash and OSD read back";
inline constexpr char kReadBackFlash[] = "flash read back";
inline constexpr char kReadBackOsd[] = "OSD read back";
inline constexpr char kNothingReadable[] = "nothing of it can be read back";
inline constexpr char kByteDiffers[] = "a byte read back differs from the file";
inline constexpr char kBurnWasStopped[] = "the burn was stopped";
inline constexpr char kBurnWasFailed[] = "the burn failed";
inline constexpr char kBurnDidNotEnd[] = "the burn did not end";

// ---- a resume ----------------------------------------------------------------
inline constexpr char kResumeUnprovable[] =
    "Nothing the burn being resumed finished can be read back to show this is the same box: {} will be "
    "burned again.\n";
inline constexpr char kResumeSampling[] =
    "Reading back {} bytes of what the burn being resumed wrote, to be sure this is the same box.\n";
inline constexpr char kResumeSameBox[] = "The box holds what that burn wrote: {} bytes match.\n";
inline constexpr char kResumeSampleDiffers[] =
    "{} of {} bytes read back differ, first {} at 0x{} (file {}, box {}).\n";
inline constexpr char kResuming[] = "Resuming the burn: done before: {}.\n";
inline constexpr char kResumingFlashFrom[] =
    "Resuming the burn: done before: {}; FLASH again from the sector at {}.\n";
inline constexpr char kNoStages[] = "none";  // stage_list_text of no stage
// other_box_line, with as much of the saved log as names the burn and its port.
inline constexpr char kOtherBox[] = "this box does not hold what the burn wrote; burn it whole.\n";
inline constexpr char kOtherBoxStarted[] =
    "this box does not hold what the burn of {} wrote; burn it whole.\n";
inline constexpr char kOtherBoxPort[] = "this box does not hold what the burn wrote to {}; burn it whole.\n";
inline constexpr char kOtherBoxBoth[] =
    "this box does not hold what the burn of {} wrote to {}; burn it whole.\n";

// ---- a compare ---------------------------------------------------------------
inline constexpr char kCompareFileFaulty[] =
    "This chipset file cannot be compared: the load log names its faulty lines.\n";
inline constexpr char kCompareCannotReadAll[] =
    "Compare reads back the flash and the OSD memory; the PIC program and the fonts cannot be read from "
    "this box and are not compared.\n";
inline constexpr char kCompareNothing[] =
    "This chipset file writes nothing into the flash or the OSD memory: there is nothing to compare.\n";
inline constexpr char kComparing[] = "Comparing {}...\n";
inline constexpr char kStageMatches[] = "{} matches the file: {} bytes\n";
inline constexpr char kStageDiffersOne[] =
    "{} differs from the file: {} byte differs, first at 0x{} (file {}, box {})\n";
inline constexpr char kStageDiffersMany[] =
    "{} differs from the file: {} bytes differ, first at 0x{} (file {}, box {})\n";
inline constexpr char kCompareCancelled[] = "Compare cancelled.\n";
inline constexpr char kCompareUnfinished[] = "Compare failed: the box could not be read to the end.\n";
inline constexpr char kBoxDiffers[] = "The box differs from the file.\n";
inline constexpr char kBoxMatches[] = "The box matches the file.\n";

// ---- a backup ----------------------------------------------------------------
inline constexpr char kBackupCannotReadAll[] =
    "Backup reads the flash and the OSD memory; the PIC program and the fonts cannot be read from this "
    "box.\n";
inline constexpr char kReading[] = "Reading {}...\n";
inline constexpr char kStageRead[] = "{} read: {} bytes\n";
inline constexpr char kBackupRemovedStale[] = "Removed {}, left by an earlier backup that did not finish.\n";
inline constexpr char kBackupCancelled[] = "Backup cancelled: nothing was written to {}.\n";
inline constexpr char kBackupNothingWritten[] = "Backup failed: nothing was written to {}.\n";
inline constexpr char kBackupFailed[] = "Backup failed: {}.\n";            // why
inline constexpr char kBackupUnsaved[] = "{}; nothing was written to {}";  // the error, the file
inline constexpr char kBackupSaved[] = "Backup saved to {}\n";

}  // namespace tv::sentence

namespace tv {

// The template with its "{}" marks replaced by `parts`, in order; a mark
// without a part stays empty, a part without a mark is left out.
std::string fill_sentence(const char* pattern, std::initializer_list<std::string> parts = {});

// An address or a byte as the log shows it: four or two hexadecimal digits.
std::string hex_digits(unsigned value, int digits);

}  // namespace tv
