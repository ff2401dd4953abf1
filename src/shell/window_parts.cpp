#include "shell/window_parts.h"

#include "icons/icons.h"

namespace tv {

FX::FXIcon* WindowIcons::make(FX::FXApp* app, const char** xpm) {
  owned_.emplace_back(new FX::FXXPMIcon(app, xpm));
  return owned_.back().get();
}

WindowIcons::WindowIcons(FX::FXApp* app)
    : logo(make(app, icons::logo_icon_xpm)),
      banner(make(app, icons::banner_xpm)),
      logoPicture(make(app, icons::logo_picture_xpm)),
      burn(make(app, icons::burn_icon_xpm)),
      test(make(app, icons::test_icon_xpm)),
      folder(make(app, icons::folder_icon_xpm)),
      check(make(app, icons::check_icon_xpm)),
      pencil(make(app, icons::pencil_icon_xpm)),
      device(make(app, icons::device_icon_xpm)),
      channels(make(app, icons::channels_icon_xpm)),
      radio(make(app, icons::radio_icon_xpm)),
      console(make(app, icons::console_icon_xpm)),
      title(make(app, icons::title_icon_xpm)),
      settings(make(app, icons::settings_icon_xpm)),
      exchange(make(app, icons::exchange_icon_xpm)),
      floppy(make(app, icons::floppy_icon_xpm)),
      lampBlack(make(app, icons::lamp_black_icon_xpm)),
      lampGreen(make(app, icons::lamp_green_icon_xpm)),
      menu(make(app, icons::menu_icon_xpm)),
      exit(make(app, icons::exit_icon_xpm)),
      help(make(app, icons::help_icon_xpm)),
      document(make(app, icons::document_icon_xpm)),
      about(make(app, icons::about_icon_xpm)) {}

FX::FXLabel* make_heading(FX::FXComposite* parent, const FX::FXString& text, FX::FXIcon* icon) {
  return new FX::FXLabel(parent, text, icon, FX::ICON_BEFORE_TEXT | FX::JUSTIFY_LEFT | FX::LAYOUT_FILL_X);
}

void set_enabled(FX::FXObject* widget, bool enabled) {
  widget->handle(nullptr, FXSEL(FX::SEL_COMMAND, enabled ? FX::FXWindow::ID_ENABLE : FX::FXWindow::ID_DISABLE), nullptr);
}

}  // namespace tv
