// The keys of the window's saved settings that a burn reads: the window
// writes them into the "settings" section of its registry file, and
// tvbox-burn reads the same file without the toolkit.
#pragma once

namespace tv {

constexpr const char* kSettingsSectionName = "settings";
constexpr const char* kPortKey = "comm";  // the first box's port, as it always was
// Every box of the window's burn station, in its order, joined by commas; the
// first is the one under kPortKey (an older file has only that one).
constexpr const char* kBoxPortsKey = "ports";
constexpr const char* kFlashDelayKey = "flash_delay";
constexpr const char* kSysfontDelayKey = "sysfont_delay";
constexpr const char* kVerifyKey = "verify";

}  // namespace tv
