#include "burn/burn_verification.h"

#include <utility>

namespace tv {

BurnVerification::BurnVerification(bool asked, std::string off_reason)
    : asked_(asked), off_reason_(std::move(off_reason)) {}

// Only the flash and the OSD memory answer reads; a stage of theirs that
// ended well under a read-back has matched the file.
void BurnVerification::stage_ended(Stage stage, bool ok) {
  if (!ok) return;
  if (stage == Stage::Flash) flash_ = true;
  if (stage == Stage::Osd) osd_ = true;
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
      return flash_ && osd_ ? "flash and OSD read back" : flash_ ? "flash read back" : "OSD read back";
    case Outcome::Off: return off_reason_;
    case Outcome::NothingReadable: return "nothing of it can be read back";
    case Outcome::Mismatch: return "a byte read back differs from the file";
    case Outcome::Stopped: return "the burn was stopped";
    case Outcome::Failed: return "the burn failed";
    case Outcome::Unfinished: break;
  }
  return "the burn did not end";
}

std::string BurnVerification::summary() const {
  return (verified() ? "verified (" : "not verified (") + reason() + ")";
}

std::string BurnVerification::log_line() const {
  return (verified() ? "Verified: yes (" : "Verified: no (") + reason() + ")";
}

}  // namespace tv
