// The burn: PIC, Flash, OSD, OSD RusFont and, when chosen, the system font,
// one stage after the other on a worker thread. It reports through a BurnSink
// and never touches widgets.
#pragma once

#include <atomic>
#include <functional>
#include <optional>

#include "burn/burn_sink.h"
#include "burn/chipset_file.h"
#include "burn/resume_plan.h"
#include "link/box_link.h"

namespace tv {

// The start command logs these itself, on the GUI thread, before the worker
// starts: the first for a burn, the second for a system font burned alone.
// A resume logs the first itself when it burns the PIC stage.
extern const char* const kBurningPicLine;   // "Burning PIC...\n", style 2
extern const char* const kFontLoadingLine;  // "FONT Loading...\n", style 2

// The two delays of a burn, in whole seconds: what a first start gets, and
// the range the window's spinners and tvbox-burn accept.
struct DelaySetting {
  int initial, min, max;
};
constexpr DelaySetting kFlashDelay{3, 3, 20};
constexpr DelaySetting kSysfontDelay{6, 6, 30};

struct BurnSettings {
  int flash_delay = kFlashDelay.initial;      // seconds between the PIC and Flash stages
  int sysfont_delay = kSysfontDelay.initial;  // seconds before the system font
  // Read when the stage is reached, so a box unchecked during the burn
  // counts for the stages not yet begun. Empty: every stage runs.
  std::function<bool(Section)> stage_checked;
  // Read back the flash and the OSD memory after each of those stages.
  bool verify = false;
  // The burn's time on a good line: a burn that takes kJobTimeFactor times
  // as long ends, naming the line. 0: no such bound (the user will wait).
  double planned_seconds = 0;
  // False: the PIC stage does the hand-shake only and sends no PIC record
  // (tvbox-burn --sections without pic). The window always burns the PIC.
  bool pic_records = true;
  // Continue a burn that failed or was stopped: the stages it finished are
  // left out (with the PIC stage, its hand-shake and the flash delay too), a
  // Flash stage it cut short starts again at the sector it was writing, and
  // every other stage it owes runs whole. The stages it chose come through
  // stage_checked and pic_records as for any burn (continue_burn sets all
  // three). Before anything is skipped, the box must show it holds what that
  // burn wrote (resume_check.h).
  std::optional<ResumePlan> resume;
};

// `settings` made to continue `plan`: its stages, and what they still owe.
void continue_burn(const ResumePlan& plan, BurnSettings* settings);

// The whole burn into the box on `link`. Ends with exactly one
// sink.done(ok); ok is false when a stage failed, the port was not open, the
// chipset has load errors (nothing is sent then) or `cancel` was set. A
// cancelled burn stops at the next packet boundary; unless the line was lost,
// every burn ends with the four-Z line so that the box leaves its loader. Any number of burns may run at
// once, each on its own thread with its own link (and port).
void run_burn(BoxLink& link, const LoadedChipset& chipset, const BurnSettings& settings, BurnSink& sink,
              const std::atomic<bool>& cancel);

// The system font alone (the hv_recall command), from the delay on.
void run_system_font_burn(BoxLink& link, const LoadedChipset& chipset, const BurnSettings& settings,
                          BurnSink& sink, const std::atomic<bool>& cancel);

// Builds the 26-character PIC record for the 8 image bytes at `address`.
std::string pic_record(const std::vector<uint8_t>& image, int address);

}  // namespace tv
