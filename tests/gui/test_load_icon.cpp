// load_icon: the icon kind follows the file name, and a missing, damaged or
// unknown picture gives no icon instead of a broken one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/fox_app.h"
#include "support/temp_dir.h"
#include "text/load_icon.h"

using namespace FX;

namespace {

class LoadIconTest : public ::testing::Test {
 protected:
  std::string path(const char* name) const { return dir_.file(name); }

  // A real 1 x 1 GIF (one red pixel), byte for byte.
  void write_gif(const std::string& file) {
    static const unsigned char kGif[] = {'G',  'I', 'F',  '8',  '9', 'a', 1, 0, 1, 0,
                                         0x80, 0,   0,                   // screen, 2-colour table
                                         0xFF, 0,   0,    0,    0,   0,  // red, black
                                         ',',  0,   0,    0,    0,   1,   0, 1, 0, 0,  // image descriptor
                                         2,    2,   0x44, 0x01, 0,                     // LZW data
                                         ';'};
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(kGif), sizeof kGif);
  }

  testsupport::TempDir dir_{"icons"};
};

TEST_F(LoadIconTest, GifFileGivesAGifIconOfItsSize) {
  write_gif(path("up.gif"));
  std::unique_ptr<FXIcon> icon(load_icon(testsupport::test_app(), path("up.gif").c_str()));
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(icon->isMemberOf(FXMETACLASS(FXGIFIcon)));
  EXPECT_EQ(icon->getWidth(), 1);
  EXPECT_EQ(icon->getHeight(), 1);
  EXPECT_NE(icon->id(), 0u);  // created, ready for a button
}

TEST_F(LoadIconTest, LaterExtensionInTheNameDecides) {
  write_gif(path("pic.bmp.gif"));
  std::unique_ptr<FXIcon> icon(load_icon(testsupport::test_app(), path("pic.bmp.gif").c_str()));
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(icon->isMemberOf(FXMETACLASS(FXGIFIcon)));
}

TEST_F(LoadIconTest, MissingUnknownOrDamagedFilesGiveNoIcon) {
  FXApp* app = testsupport::test_app();
  EXPECT_EQ(load_icon(app, path("absent.gif").c_str()), nullptr);

  write_gif(path("picture.png"));
  EXPECT_EQ(load_icon(app, path("picture.png").c_str()), nullptr);

  std::ofstream(path("broken.gif"), std::ios::binary) << "GIF89a this is not a picture";
  EXPECT_EQ(load_icon(app, path("broken.gif").c_str()), nullptr);

  EXPECT_EQ(load_icon(app, nullptr), nullptr);
}

TEST(LoadIconSamples, ShippedUpPictureLoads) {
  const std::string file = std::string(TVBOX_SOURCE_DIR) + "/data/up.gif";
  std::unique_ptr<FXIcon> icon(load_icon(testsupport::test_app(), file.c_str()));
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(icon->isMemberOf(FXMETACLASS(FXGIFIcon)));
}

}  // namespace
