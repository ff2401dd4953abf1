#include "channels/channel_pages.h"

#include "channels/ChannelPage.h"
#include "dbkit/FXMessageSeam.h"

namespace tv {

ChannelPages build_channel_pages(FXComposite* tv_pane, FXComposite* radio_pane, FXObject* window,
                                 FXIcon* logo, FXIcon* check_icon) {
  ChannelPages pages;
  if (tv_pane) pages.tv = new ChannelPage(tv_pane, window, logo, check_icon);
  if (radio_pane) pages.radio = new ChannelPage(radio_pane, window, logo, check_icon);
  return pages;
}

namespace {

// The up and down buttons carry their page's grid as user data.
FXDbGrid* grid_of(FXObject* sender) {
  FXWindow* button = dynamic_cast<FXWindow*>(sender);
  if (!button) return nullptr;
  FXDbGrid* grid = static_cast<FXDbGrid*>(button->getUserData());
  // Only a grid of a live page is trusted; stray user data is ignored.
  return ChannelPage::findByGrid(grid) ? grid : nullptr;
}

}  // namespace

long on_channel_up(FXObject* sender) {
  moveChannel(grid_of(sender), -1);
  return 1;
}

long on_channel_down(FXObject* sender) {
  moveChannel(grid_of(sender), +1);
  return 1;
}

long on_channel_save_all(FXWindow* owner) {
  show_message(owner, MessageKind::Information, MBOX_OK, "О onChSave", "onChSave ");
  return 1;
}

}  // namespace tv
