#include "shell/file_dialog_seam.h"

namespace tv {
namespace {

FileDialogHook& installed_hook() {
  static FileDialogHook hook;
  return hook;
}

}  // namespace

void set_file_dialog_hook(FileDialogHook hook) { installed_hook() = std::move(hook); }

bool ask_open_file(FXWindow* owner, const FileDialogRequest& request, std::string* chosen) {
  if (installed_hook()) return installed_hook()(request, chosen);
  FXFileDialog dialog(owner, request.title.c_str(), 0, 0, 0, request.width, request.height);
  dialog.setPatternList(request.patterns.c_str());
  // With no file chosen yet, start in the working folder (where the sample
  // chipset lives) rather than with that folder itself picked as a "file".
  if (request.file_name.empty()) {
    dialog.setDirectory(FXSystem::getCurrentDirectory());
  } else {
    dialog.setFilename(request.file_name.c_str());
  }
  if (!dialog.execute(PLACEMENT_OWNER)) return false;
  *chosen = dialog.getFilename().text();
  return true;
}

bool ask_save_file(FXWindow* owner, FileDialogRequest request, std::string* chosen) {
  request.save = true;
  if (installed_hook()) return installed_hook()(request, chosen);
  FXFileDialog dialog(owner, request.title.c_str(), 0, 0, 0, request.width, request.height);
  dialog.setSelectMode(SELECTFILE_ANY);
  dialog.setPatternList(request.patterns.c_str());
  dialog.setFilename(request.file_name.c_str());
  if (!dialog.execute(PLACEMENT_OWNER)) return false;
  *chosen = dialog.getFilename().text();
  return true;
}

}  // namespace tv
