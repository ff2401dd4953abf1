// The commands a channel page's buttons send to the window it is built in.
// The pages sit below the shell, so the numbers are fixed here and the
// window's own ID table takes them over.
#pragma once

#include <fox-1.6/fx.h>

namespace tv {

enum ChannelCommand : FX::FXSelector {
  kChannelUp = 76,       // hv_up: the selected row one place up
  kChannelDown = 77,     // hv_down
  kChannelSaveAll = 78,  // hv_saveall
};

}  // namespace tv
