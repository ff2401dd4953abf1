// The first tab: the program's banner above and below its logo.
#pragma once

#include <fox-1.6/fx.h>

namespace tv {

struct WindowIcons;

class TitlePage {
 public:
  TitlePage(FX::FXComposite* pane, WindowIcons& icons);

  FX::FXLabel* topBanner;     // banner, top left
  FX::FXLabel* logo;          // logo picture, centred
  FX::FXLabel* bottomBanner;  // banner, bottom right
};

}  // namespace tv
