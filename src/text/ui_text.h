// Captions as display text: the one bridge between the message catalogue's
// bytes and a FOX widget, used by the window, its pages, the widget kit and
// the channel pages alike.
#pragma once

#include <fox-1.6/fx.h>

namespace tv {

// The caption for a catalogue key, ready for a FOX widget (UTF-8).
FX::FXString ui_text(const char* key);

}  // namespace tv
