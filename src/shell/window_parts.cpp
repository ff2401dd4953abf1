#include "shell/window_parts.h"

#include "icons/icons.h"

using namespace FX;

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
  widget->handle(
      nullptr, FXSEL(FX::SEL_COMMAND, enabled ? FX::FXWindow::ID_ENABLE : FX::FXWindow::ID_DISABLE), nullptr);
}

FXString port_problem_line(const FXString& cause, const std::string& device, const FXString& what,
                           const std::string& name) {
  const FXint colon = cause.find(": ");
  FXString text = colon < 0 ? cause : cause.left(colon);
  // Older language files begin the reason in lower case.
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = char(text[0] - 'a' + 'A');
  text += ": " + FXString(device.c_str());
  if (colon >= 0) text += " \xE2\x80\x94 " + cause.mid(colon + 2, cause.length());  // an em dash
  text += ". " + what;
  if (!name.empty() && name != device) text += " (" + FXString(name.c_str()) + ")";
  return text + ".";
}

FXString ui_text_filled(const char* key, const char* english, const FXString& value) {
  FXString pattern = ui_text_or(key, english);
  const FXint at = pattern.find("{}");
  if (at < 0) return pattern + " " + value;
  return pattern.replace(at, 2, value);
}

// Characters, not bytes: a Russian letter is two bytes of UTF-8.
FXString wrapped(const FXString& text, int width) {
  FXString result;
  int column = 0, last_blank = -1;
  for (FXint i = 0; i < text.length(); ++i) {
    const char c = text[i];
    result.append(c);
    if (c == '\n') {
      column = 0;
      last_blank = -1;
      continue;
    }
    if ((static_cast<unsigned char>(c) & 0xC0) == 0x80) continue;  // inside a character
    if (c == ' ') last_blank = result.length() - 1;
    if (++column > width && last_blank >= 0) {
      result[last_blank] = '\n';
      column = 0;
      for (FXint j = last_blank + 1; j < result.length(); ++j)
        if ((static_cast<unsigned char>(result[j]) & 0xC0) != 0x80) ++column;
      last_blank = -1;
    }
  }
  return result;
}

}  // namespace tv
