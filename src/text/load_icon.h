// Loads a picture file as an icon, choosing the kind by the file name
// (".bmp", ".gif", ".xpm"). Returns null when the file is missing or of
// another kind, and for anything that is not a regular file; the caller then
// shows its button or column without an icon. The name is opened as it
// stands: callers find run-time pictures through find_data_file().
#pragma once

#include <fox-1.6/fx.h>

// The program's one exported function (see src/shell/tvbox.exports).
__attribute__((visibility("default"))) FX::FXIcon* load_icon(FX::FXApp* app, const char* file_name);
