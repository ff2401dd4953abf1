// The "Open File" dialog of the burn page goes through here, so that a test
// can answer it with a path instead of a person clicking in a modal dialog.
// Without a hook installed, the real FOX file dialog is shown.
#pragma once

#include <fox-1.6/fx.h>

#include <functional>
#include <string>

namespace tv {

struct FileDialogRequest {
  std::string title;
  std::string patterns;   // FOX pattern list, one "Name (*.ext)" per line
  std::string file_name;  // the name the dialog starts with
  int width;
  int height;
};

// Returns true with the chosen path in `*chosen`, false when cancelled.
using FileDialogHook = std::function<bool(const FileDialogRequest&, std::string* chosen)>;

// Installs a hook (tests); an empty hook restores the real dialog.
void set_file_dialog_hook(FileDialogHook hook);

// Asks for a file to open. True with the path in `*chosen`; false when the
// user cancelled (then `*chosen` is left alone).
bool ask_open_file(FXWindow* owner, const FileDialogRequest& request, std::string* chosen);

}  // namespace tv
