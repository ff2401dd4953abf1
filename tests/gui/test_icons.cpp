// The compiled-in pictures and the channel pages' picture files: each must
// decode in the toolkit at the size the window layout was planned around, and
// must actually show something (a blank or one-colour square means the
// generator or the embedding went wrong).
#include <fox-1.6/fx.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "icons/icons.h"
#include "support/fox_app.h"

namespace {

using namespace tv::icons;

struct XpmCase {
  const char* name;
  const char** data;
  int width, height;
};

struct GifCase {
  const char* name;
  const unsigned char* data;
  int width, height;
};

const XpmCase kXpmPictures[] = {
    {"logo_icon", logo_icon_xpm, 33, 16},
    {"banner", banner_xpm, 225, 52},
    {"logo_picture", logo_picture_xpm, 162, 111},
    {"burn_icon", burn_icon_xpm, 22, 22},
    {"test_icon", test_icon_xpm, 22, 22},
    {"folder_icon", folder_icon_xpm, 16, 16},
    {"check_icon", check_icon_xpm, 16, 16},
    {"pencil_icon", pencil_icon_xpm, 16, 16},
    {"device_icon", device_icon_xpm, 24, 24},
    {"channels_icon", channels_icon_xpm, 22, 22},
    {"radio_icon", radio_icon_xpm, 22, 22},
    {"console_icon", console_icon_xpm, 16, 16},
    {"title_icon", title_icon_xpm, 22, 16},
    {"settings_icon", settings_icon_xpm, 16, 16},
    {"exchange_icon", exchange_icon_xpm, 32, 32},
    {"floppy_icon", floppy_icon_xpm, 16, 16},
    {"lamp_black_icon", lamp_black_icon_xpm, 16, 16},
    {"lamp_green_icon", lamp_green_icon_xpm, 16, 16},
    {"menu_icon", menu_icon_xpm, 16, 16},
    {"exit_icon", exit_icon_xpm, 22, 14},
    {"help_icon", help_icon_xpm, 16, 16},
    {"document_icon", document_icon_xpm, 16, 16},
    {"about_icon", about_icon_xpm, 16, 16},
};

const GifCase kNavigatorIcons[] = {
    {"nav_first", nav_first_gif, 13, 13}, {"nav_prev", nav_prev_gif, 13, 13},
    {"nav_next", nav_next_gif, 13, 13},   {"nav_last", nav_last_gif, 13, 13},
    {"nav_sb", nav_sb_gif, 16, 16},       {"nav_ib", nav_ib_gif, 16, 16},
    {"nav_new", nav_new_gif, 12, 14},     {"nav_sav", nav_sav_gif, 16, 16},
    {"nav_del", nav_del_gif, 16, 16},     {"nav_sbac", nav_sbac_gif, 11, 11},
    {"nav_sfor", nav_sfor_gif, 11, 11},   {"nav_sinc", nav_sinc_gif, 16, 16},
};

const char* const kRuntimePictures[] = {"settings.gif", "goto.gif", "up.gif", "dn.gif", "saveall.gif"};

const FX::FXColor kDefaultBack = FXRGB(192, 192, 192);

bool is_transparent(const FX::FXIcon& icon, FX::FXColor c) {
  return FXALPHAVAL(c) == 0 || c == icon.getTransparentColor();
}

// What a picture shows: its distinct opaque colours, and how many pixels are
// drawn at all. A placeholder square has one colour and no transparency.
struct PictureContent {
  std::set<FX::FXColor> colours;
  int opaque_pixels = 0;
};

PictureContent content_of(const FX::FXIcon& image) {
  PictureContent content;
  for (int y = 0; y < image.getHeight(); ++y)
    for (int x = 0; x < image.getWidth(); ++x) {
      FX::FXColor c = image.getPixel(x, y);
      if (is_transparent(image, c)) continue;
      content.colours.insert(c);
      ++content.opaque_pixels;
    }
  return content;
}

void expect_drawn_picture(FX::FXIcon& icon, const char* name, int width, int height) {
  EXPECT_EQ(icon.getWidth(), width) << name;
  EXPECT_EQ(icon.getHeight(), height) << name;
  EXPECT_NE(icon.getData(), nullptr) << name << " did not decode";
  if (icon.getData()) {
    PictureContent content = content_of(icon);
    int area = width * height;
    bool has_shape = content.colours.size() >= 2 || content.opaque_pixels < area;
    EXPECT_TRUE(has_shape) << name << " is a plain square";
    EXPECT_GE(content.opaque_pixels * 20, area) << name << " is (almost) empty";
  }
  icon.create();  // the X server must accept it as well
  EXPECT_TRUE(icon.id() != 0) << name;
}

TEST(CompiledPictures, EveryXpmDecodesAtItsPlannedSize) {
  for (const XpmCase& p : kXpmPictures) {
    FX::FXXPMIcon icon(testsupport::test_app(), p.data, kDefaultBack, FX::IMAGE_KEEP);
    expect_drawn_picture(icon, p.name, p.width, p.height);
  }
}

TEST(CompiledPictures, EveryNavigatorGifDecodesAtItsPlannedSize) {
  for (const GifCase& p : kNavigatorIcons) {
    FX::FXGIFIcon icon(testsupport::test_app(), p.data, kDefaultBack, FX::IMAGE_KEEP);
    expect_drawn_picture(icon, p.name, p.width, p.height);
  }
}

// The port lamp swaps one picture for the other, so both must share an outline
// (nothing jumps on the status bar) and differ only in colour.
TEST(CompiledPictures, PortLampsShareTheirShapeAndDifferInColour) {
  FX::FXXPMIcon black(testsupport::test_app(), lamp_black_icon_xpm, kDefaultBack, FX::IMAGE_KEEP);
  FX::FXXPMIcon green(testsupport::test_app(), lamp_green_icon_xpm, kDefaultBack, FX::IMAGE_KEEP);
  ASSERT_EQ(black.getWidth(), green.getWidth());
  ASSERT_EQ(black.getHeight(), green.getHeight());
  int clear_pixels = 0;
  for (int y = 0; y < black.getHeight(); ++y)
    for (int x = 0; x < black.getWidth(); ++x) {
      bool clear = is_transparent(black, black.getPixel(x, y));
      clear_pixels += clear;
      EXPECT_EQ(clear, is_transparent(green, green.getPixel(x, y))) << "outline differs at " << x << "," << y;
    }
  EXPECT_GT(clear_pixels, 0) << "the lamp should be round, not a square";
  FX::FXColor black_centre = black.getPixel(8, 8), green_centre = green.getPixel(8, 8);
  EXPECT_GT(FXGREENVAL(green_centre), FXREDVAL(green_centre) + 60);
  EXPECT_LT(FXGREENVAL(black_centre), 80);
}

TEST(RuntimePictures, EachChannelPagePictureLoadsFromTheDataFolder) {
  for (const char* file : kRuntimePictures) {
    std::string path = std::string(TVBOX_SOURCE_DIR) + "/data/" + file;
    FX::FXFileStream stream;
    ASSERT_TRUE(stream.open(path.c_str(), FX::FXStreamLoad)) << path;
    FX::FXGIFIcon icon(testsupport::test_app(), nullptr, kDefaultBack, FX::IMAGE_KEEP);
    ASSERT_TRUE(icon.loadPixels(stream)) << path << " is not a readable GIF";
    stream.close();
    expect_drawn_picture(icon, file, 16, 16);
  }
}

}  // namespace
