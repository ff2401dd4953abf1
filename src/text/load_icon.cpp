#include "text/load_icon.h"

#include <cstring>
#include <memory>
#include <string>

#include "text/data_files.h"

using namespace FX;

namespace {

// The kind of icon a file name asks for; a later extension in the list wins,
// so "a.bmp.gif" is read as a GIF.
FXIcon* icon_for_name(FXApp* app, const char* file_name) {
  FXIcon* icon = nullptr;
  if (std::strstr(file_name, ".bmp")) icon = new FXBMPIcon(app);
  if (std::strstr(file_name, ".gif")) {
    delete icon;
    icon = new FXGIFIcon(app);
  }
  if (std::strstr(file_name, ".xpm")) {
    delete icon;
    icon = new FXXPMIcon(app);
  }
  return icon;
}

// Far more than a button picture; a bigger file is not one of ours.
constexpr size_t kMaxPictureBytes = 8u << 20;

}  // namespace

FXIcon* load_icon(FXApp* app, const char* file_name) {
  if (!app || !file_name) return nullptr;
  // Read whole first, and only from a regular file: a pipe under a picture's
  // name would otherwise hold up the window being built.
  std::string bytes;
  if (!tv::read_regular_file(file_name, &bytes, kMaxPictureBytes)) return nullptr;
  FXMemoryStream stream;
  if (!stream.open(FXStreamLoad, bytes.size(), reinterpret_cast<FXuchar*>(&bytes[0]))) return nullptr;
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
