// Loads a picture file as an icon, choosing the kind by the file name
// (".bmp", ".gif", ".xpm"). Returns null when the file is missing or of
// another kind; the caller then shows its button or column without an icon.
#pragma once

#include <fox-1.6/fx.h>

// The program's one exported function (see src/shell/tvbox.exports).
__attribute__((visibility("default"))) FX::FXIcon* load_icon(FX::FXApp* app, const char* file_name);
