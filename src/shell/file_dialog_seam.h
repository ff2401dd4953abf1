// The file dialogs of the window ("Open File" for a chipset, the save dialog
// of a backup) go through here, so that a test can answer them with a path
// instead of a person clicking in a modal dialog.
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
  bool save = false;  // a dialog that names a new file rather than opening one
};

// Returns true with the chosen path in `*chosen`, false when cancelled.
using FileDialogHook = std::function<bool(const FileDialogRequest&, std::string* chosen)>;

// Installs a hook (tests); an empty hook restores the real dialog.
void set_file_dialog_hook(FileDialogHook hook);

// Asks for a file to open. True with the path in `*chosen`; false when the
// user cancelled (then `*chosen` is left alone).
bool ask_open_file(FXWindow* owner, const FileDialogRequest& request, std::string* chosen);

// Asks for a file to write (request.save is set here); the name need not
// exist yet. As ask_open_file otherwise.
bool ask_save_file(FXWindow* owner, FileDialogRequest request, std::string* chosen);

}  // namespace tv
