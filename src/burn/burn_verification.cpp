#include "burn/burn_verification.h"

#include <utility>

#include "burn/log_sentences.h"

namespace tv {

BurnVerification::BurnVerification(bool asked, std::string off_reason)
    : asked_(asked), off_reason_(std::move(off_reason)) {}

// Only the flash and the OSD memory answer reads; a stage of theirs that
// ended well under a read-back has matched the file.
void BurnVerification::stage_ended(Section stage, bool ok) {
  if (!ok) return;
  if (stage == Section::Flash) flash_ = true;
  if (stage == Section::Osd) osd_ = true;
}

void BurnVerification::failed_because(FailureCause cause) {
  if (cause == FailureCause::Mismatch) mismatch_ = true;
}

void BurnVerification::done(bool ok, bool cancelled) {
  ended_ = true;
  ok_ = ok;
  cancelled_ = cancelled;
}

// A burn of the PIC program and the fonts alone could not be verified with
// any setting, so that is said before the setting.
BurnVerification::Outcome BurnVerification::outcome() const {
  if (ended_ && ok_ && !flash_ && !osd_) return Outcome::NothingReadable;
  if (!asked_) return Outcome::Off;
  if (!ended_) return Outcome::Unfinished;
  if (mismatch_) return Outcome::Mismatch;
  if (cancelled_) return Outcome::Stopped;
  if (!ok_) return Outcome::Failed;
  return Outcome::Verified;
}

std::string BurnVerification::reason() const {
  switch (outcome()) {
    case Outcome::Verified:
      return flash_ && osd_ ? sentence::kReadBackFlashOsd
             : flash_       ? sentence::kReadBackFlash
                            : sentence::kReadBackOsd;
    case Outcome::Off: return off_reason_;
    case Outcome::NothingReadable: return sentence::kNothingReadable;
    case Outcome::Mismatch: return sentence::kByteDiffers;
    case Outcome::Stopped: return sentence::kBurnWasStopped;
    case Outcome::Failed: return sentence::kBurnWasFailed;
    case Outcome::Unfinished: break;
  }
  return sentence::kBurnDidNotEnd;
}

std::string BurnVerification::summary() const {
  return (verified() ? "verified (" : "not verified (") + reason() + ")";
}

std::string BurnVerification::log_line() const {
  return fill_sentence(verified() ? sentence::kVerifiedYes : sentence::kVerifiedNo, {reason()});
}

}  // namespace tv
