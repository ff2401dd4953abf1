// Captions as display text: the one bridge between the message catalogue's
// bytes and a FOX widget, used by the window, its pages, the widget kit and
// the channel pages alike.
#pragma once

#include <fox-1.6/fx.h>

namespace tv {

// The caption for a catalogue key, ready for a FOX widget (UTF-8).
FX::FXString ui_text(const char* key);

// The same, or `english` when the language file has no such key: an older
// language file still says something where the program added a message.
FX::FXString ui_text_or(const char* key, const char* english);

}  // namespace tv
