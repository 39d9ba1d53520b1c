// velmora.exe's own icon, as its running window shows it.
#include <gtest/gtest.h>
#include <windows.h>

#include "e2e/app_driver.h"

using namespace velmora::e2e;

namespace {

// The running window's caption shows the program's own icon (a photo with a sun and hills), not
// the system's generic one. Wine draws the caption itself, so it is read from the screen.
TEST(ProgramFile, TheWindowShowsTheProgramIcon) {
  AppSession app;
  ASSERT_TRUE(app.Start(Place.WorkDir + "velmora.exe", Place.WorkDir));
  const RECT frame = ScreenRect(app.Main), client = ScreenRect(app.Main, true);
  ScreenShot caption;
  ASSERT_TRUE(caption.Capture({frame.left, frame.top, client.left + 40, client.top}));
  int sun = 0, hills = 0;  // the caption's own colours are blue, gray and white
  for (uint32_t p : caption.Pixels) {
    const int r = p >> 16 & 255, g = p >> 8 & 255, b = p & 255;
    sun += r > 200 && g > 150 && b < 120;
    hills += g > 110 && g - r > 50 && g - b > 50;
  }
  EXPECT_GT(sun, 1) << "no sun of the program icon in the caption";
  EXPECT_GT(hills, 4) << "no hills of the program icon in the caption";
  EXPECT_EQ(app.CloseAndWait(20000), 0);
}

}  // namespace
