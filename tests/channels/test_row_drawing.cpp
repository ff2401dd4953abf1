// Row colours as they reach the screen: an item is drawn into an off-screen
// image and its pixels are counted; and a screenshot of a whole channel page
// is written to the build folder for a person to look at.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/trace.h"
#include "channels/ChannelPage.h"
#include "channels/channel_pages.h"
#include "dbkit/kit_fixture.h"
#include "icons/icons.h"
#include "support/fox_app.h"
#include "text/catalogue.h"

using namespace FX;

namespace {

// Opens the item's drawing to the test; the drawing itself is FXDbGridItem's.
struct ProbeItem : public FXDbGridItem {
  explicit ProbeItem(const FXString& text) : FXDbGridItem(text) {}
  using FXDbGridItem::draw;
};

struct PixelCounts {
  int rowColour = 0;
  int selection = 0;
  int white = 0;
  int total = 0;
};

class RowDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    window = new FXMainWindow(testsupport::test_app(), "rows", NULL, NULL, DECOR_ALL, 0, 0, 300, 200);
    nav = new FXDbControl(window);
    grid = new FXDbGrid(window, nav);
    grid->appendHeader("a", NULL, 60);
    grid->appendHeader("b", NULL, 60);
    window->create();
  }
  void TearDown() override { delete window; }

  PixelCounts drawAndCount(ProbeItem* item, FXColor colour) {
    const FXint w = 120, h = item->getHeight(grid);
    FXImage image(testsupport::test_app(), NULL, IMAGE_KEEP | IMAGE_OWNED, w, h);
    image.create();
    {
      FXDCWindow dc(&image);
      dc.setForeground(FXRGB(0, 0, 0));  // anything the row fails to paint stays black
      dc.fillRectangle(0, 0, w, h);
      dc.setFont(grid->getFont());
      item->draw(grid, dc, 0, 0, w, h);
    }
    image.restore();
    PixelCounts counts;
    for (FXint y = 0; y < h; ++y) {
      for (FXint x = 0; x < w; ++x) {
        const FXColor pixel = image.getPixel(x, y) | FXRGBA(0, 0, 0, 255);
        ++counts.total;
        if (pixel == (colour | FXRGBA(0, 0, 0, 255))) ++counts.rowColour;
        if (pixel == (grid->getSelBackColor() | FXRGBA(0, 0, 0, 255))) ++counts.selection;
        if (pixel == FXRGB(255, 255, 255)) ++counts.white;
      }
    }
    return counts;
  }

  FXMainWindow* window = nullptr;
  FXDbControl* nav = nullptr;
  FXDbGrid* grid = nullptr;
};

TEST_F(RowDrawingTest, AnUnselectedRowIsPaintedWithItsColour) {
  const FXColor salmon = FXRGB(255, 192, 178);
  ProbeItem* item = new ProbeItem("1\tname");
  grid->appendItem(NULL, item);
  item->rowColor = salmon;
  PixelCounts counts = drawAndCount(item, salmon);
  EXPECT_GT(counts.rowColour, counts.total / 2);
  EXPECT_EQ(0, counts.selection);
}

TEST_F(RowDrawingTest, ARowWithoutColourIsPaintedWhite) {
  ProbeItem* item = new ProbeItem("1\tname");
  grid->appendItem(NULL, item);
  PixelCounts counts = drawAndCount(item, FXRGB(255, 192, 178));
  EXPECT_GT(counts.white, counts.total / 2);
  EXPECT_EQ(0, counts.rowColour);
}

TEST_F(RowDrawingTest, ASelectedRowShowsTheSelectionAndNotItsColour) {
  const FXColor blue = FXRGB(174, 215, 255);
  ProbeItem* item = new ProbeItem("1\tname");
  grid->appendItem(NULL, item);
  item->rowColor = blue;
  grid->selectItem(item);
  PixelCounts selected = drawAndCount(item, blue);
  EXPECT_EQ(0, selected.rowColour);
  EXPECT_GT(selected.selection, 0);
  grid->deselectItem(item);  // its own colour comes back
  PixelCounts deselected = drawAndCount(item, blue);
  EXPECT_GT(deselected.rowColour, deselected.total / 2);
}

bool screen_is_black(const std::string& png) {
  FILE* out = popen(("convert " + png + " -format '%[fx:mean]' info:").c_str(), "r");
  if (!out) return true;
  double mean = 0;
  const bool read = std::fscanf(out, "%lf", &mean) == 1;
  pclose(out);
  return !read || mean == 0;
}

// A page as the user would see it: coloured unselected rows and one selected
// row. The picture lands in the build folder (channel_page.png).
TEST(ChannelPageScreenshot, VisiblePageAfterRefresh) {
  if (std::system("command -v import >/dev/null 2>&1 && command -v convert >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no import tool";
  tv::set_trace_enabled(false);
  dbkit_test::SeamGuard seam;
  // As the program shows it: English captions, the pictures of the data
  // folder (loaded by name from the working folder), the logo and check mark.
  char previous_dir[4096];
  ASSERT_NE(getcwd(previous_dir, sizeof previous_dir), nullptr);
  ASSERT_EQ(chdir(TVBOX_SOURCE_DIR "/data"), 0);
  tv::reset_catalogue_for_tests();
  tv::set_language_file("lang.en");
  FXMainWindow* window =
      new FXMainWindow(testsupport::test_app(), "channels", NULL, NULL, DECOR_ALL, 0, 0, 760, 460);
  FXXPMIcon* logo = new FXXPMIcon(testsupport::test_app(), tv::icons::logo_picture_xpm);
  FXXPMIcon* check = new FXXPMIcon(testsupport::test_app(), tv::icons::check_icon_xpm);
  tv::ChannelPages pages = tv::build_channel_pages(window, nullptr, window, logo, check);
  window->create();
  window->show(PLACEMENT_DEFAULT);
  FXDbControl* nav = pages.tv->navigator;
  nav->handle(nav, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_SINC), NULL);
  for (int i = 0; i < 3; ++i) nav->handle(nav, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_NEXT), NULL);
  const std::string path = std::string(TVBOX_BINARY_DIR) + "/channel_page.png";
  // The X server paints when it gets to it: shoot until the picture is no
  // longer an empty black screen.
  EXPECT_TRUE(testsupport::run_gui_until(
      [&] {
        testsupport::test_app()->forceRefresh();  // editor widgets pull their values
        window->repaint();
        testsupport::test_app()->flush(TRUE);
        return std::system(("import -window root " + path).c_str()) == 0 && !screen_is_black(path);
      },
      10000));
  FXFoldingItem* fourth = pages.tv->grid->getFirstItem()->getNext()->getNext()->getNext();
  EXPECT_EQ(fourth, pages.tv->grid->getCurrentItem());
  EXPECT_TRUE(fourth->isSelected());
  EXPECT_EQ(FXString("YYYY 03"), pages.tv->nameField->getText());
  delete window;
  delete logo;
  delete check;
  tv::reset_catalogue_for_tests();
  ASSERT_EQ(chdir(previous_dir), 0);
}

}  // namespace
