#include "text/load_icon.h"

#include <cstring>
#include <memory>

using namespace FX;

namespace {

// The kind of icon a file name asks for; a later extension in the list wins,
// so "a.bmp.gif" is read as a GIF.
FXIcon* icon_for_name(FXApp* app, const char* file_name) {
  FXIcon* icon = nullptr;
  if (std::strstr(file_name, ".bmp")) icon = new FXBMPIcon(app);
  if (std::strstr(file_name, ".gif")) { delete icon; icon = new FXGIFIcon(app); }
  if (std::strstr(file_name, ".xpm")) { delete icon; icon = new FXXPMIcon(app); }
  return icon;
}

}  // namespace

FXIcon* load_icon(FXApp* app, const char* file_name) {
  if (!app || !file_name) return nullptr;
  FXFileStream stream;
  if (!stream.open(file_name, FXStreamLoad)) return nullptr;
  std::unique_ptr<FXIcon> icon(icon_for_name(app, file_name));
  // A damaged picture gives no icon rather than an empty one.
  if (!icon || !icon->loadPixels(stream)) {
    stream.close();
    return nullptr;
  }
  icon->create();
  stream.close();
  return icon.release();
}
