// The TV and FM Radio channel pages, built on the data-bound widget kit.
// The main window builds its two channel tabs through build_channel_pages()
// and routes its commands 76 (up), 77 (down) and 78 (save all) here.
#pragma once

#include <fox-1.6/fx.h>

namespace tv {

class ChannelPage;

struct ChannelPages {
  ChannelPage* tv = nullptr;     // the channels tab
  ChannelPage* radio = nullptr;  // the FM Radio tab
};

// Builds both pages into the given tab panes. `window` receives the commands
// of the up, down and save-all buttons (IDs 76, 77, 78); `logo` is the logo
// picture and `check_icon` the check-mark icon of the untitled grid column.
ChannelPages build_channel_pages(FXComposite* tv_pane, FXComposite* radio_pane, FXObject* window,
                                 FXIcon* logo, FXIcon* check_icon);

// Handlers behind the window's commands 76, 77 and 78. The move handlers take
// the grid from the sender's user data.
long on_channel_up(FXObject* sender);
long on_channel_down(FXObject* sender);
long on_channel_save_all(FXWindow* owner);

}  // namespace tv
