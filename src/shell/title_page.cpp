#include "shell/title_page.h"

#include "shell/window_parts.h"

using namespace FX;

namespace tv {

TitlePage::TitlePage(FXComposite* pane, WindowIcons& icons) {
  auto* top = new FXHorizontalFrame(pane, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_SIDE_TOP);
  topBanner = new FXLabel(top, FXString::null, icons.banner, LAYOUT_LEFT);

  auto* bottom = new FXHorizontalFrame(pane, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_SIDE_BOTTOM);
  bottomBanner = new FXLabel(bottom, FXString::null, icons.banner, LAYOUT_RIGHT);

  auto* middle = new FXHorizontalFrame(pane, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  logo = new FXLabel(middle, FXString::null, icons.logoPicture, LAYOUT_CENTER_X | LAYOUT_CENTER_Y);
}

}  // namespace tv
