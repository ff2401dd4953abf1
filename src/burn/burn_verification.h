// Whether a burn was verified, and how to say so. A box can store a byte
// wrong while it echoes every record correctly: without the read-back such a
// burn ends "OK". Every front end therefore says, at the end of every burn,
// whether what it wrote was read back and matched, or why not, in the same
// words: the window's log, tvbox-burn's summary and JSON, and the saved log.
#pragma once

#include <string>

#include "burn/burn_sink.h"

namespace tv {

// Both front ends read back the flash and the OSD memory after writing them
// unless the engineer turns it off (the window's Verify box, --no-verify).
constexpr bool kVerifyByDefault = true;

// Fed the burn's own reports as they come; asked at its end.
class BurnVerification {
 public:
  // `asked`: the burn reads back what it writes. `off_reason` says why it
  // does not, in the front end's words ("--no-verify").
  BurnVerification(bool asked, std::string off_reason);

  void stage_ended(Section stage, bool ok);
  void failed_because(FailureCause cause);
  void done(bool ok, bool cancelled);

  enum class Outcome {
    Verified,         // it ended well, and wrote a memory that reads back
    Off,              // it was not asked to read back
    NothingReadable,  // it wrote only the PIC program and the fonts
    Mismatch,         // a byte read back differs from the file
    Stopped,
    Failed,
    Unfinished,  // it has not ended (yet)
  };
  // Verified only when the burn ended well with the read-back on and wrote
  // at least one memory that can be read back: each such stage ends well
  // only when its read-back matched.
  Outcome outcome() const;
  bool verified() const { return outcome() == Outcome::Verified; }
  // "flash and OSD read back", "--no-verify", "nothing of it can be read back".
  std::string reason() const;
  // "verified (flash and OSD read back)", "not verified (--no-verify)".
  std::string summary() const;
  // The saved log's line: "Verified: yes (flash and OSD read back)\n".
  std::string log_line() const;

 private:
  bool asked_;
  std::string off_reason_;
  bool flash_ = false, osd_ = false;  // read-back stages that ended well
  bool ended_ = false, ok_ = false, cancelled_ = false;
  bool mismatch_ = false;
};

}  // namespace tv
