// Pieces shared by the main window and its pages: captions as display text
// (from the text room) and the one set of built-in pictures.
#pragma once

#include <fox-1.6/fx.h>

#include <memory>
#include <string>
#include <vector>

#include "text/ui_text.h"

namespace tv {

// Every built-in picture the window shows, made once and shared by the
// pages; the window deletes them when it goes.
struct WindowIcons {
 private:
  // Declared first: the pictures below are made into it as they initialise.
  std::vector<std::unique_ptr<FX::FXIcon>> owned_;
  FX::FXIcon* make(FX::FXApp* app, const char** xpm);

 public:
  explicit WindowIcons(FX::FXApp* app);

  FX::FXIcon* logo;
  FX::FXIcon* banner;
  FX::FXIcon* logoPicture;
  FX::FXIcon* burn;
  FX::FXIcon* test;
  FX::FXIcon* folder;
  FX::FXIcon* check;
  FX::FXIcon* pencil;
  FX::FXIcon* device;
  FX::FXIcon* channels;
  FX::FXIcon* radio;
  FX::FXIcon* console;
  FX::FXIcon* title;
  FX::FXIcon* settings;
  FX::FXIcon* exchange;
  FX::FXIcon* floppy;
  FX::FXIcon* lampBlack;
  FX::FXIcon* lampGreen;
  FX::FXIcon* menu;
  FX::FXIcon* exit;
  FX::FXIcon* help;
  FX::FXIcon* document;
  FX::FXIcon* about;
};

// A heading: the text with its icon before it.
FX::FXLabel* make_heading(FX::FXComposite* parent, const FX::FXString& text, FX::FXIcon* icon);

// The answer to a widget's SEL_UPDATE: enables or disables the widget that
// asked, as FOX's own targets do.
void set_enabled(FX::FXObject* widget, bool enabled);

// Why a port is not usable, as one line with the reason first, so that it
// survives the status line's cut at the window's width: "No such device:
// /dev/ttyUSB7. The programming port did not open (com7)." `cause` is the
// catalogue's "reason" or "reason: advice"; the port's name is added only
// when it is not the device path itself.
FX::FXString port_problem_line(const FX::FXString& cause, const std::string& device, const FX::FXString& what,
                               const std::string& name);

// The catalogue's text for `key` (or `english`) with "{}" replaced by
// `value`; a language file that left the place out gets the value at the end.
FX::FXString ui_text_filled(const char* key, const char* english, const FX::FXString& value);

// The text broken at blanks into lines of at most `width` characters, for a
// tool tip that must not run off the screen.
FX::FXString wrapped(const FX::FXString& text, int width = 60);

}  // namespace tv
