// Where a centred dialog lands: half the free space on each side, rounded toward zero,
// also when the window is larger than the screen.
#include "shell/centering.h"

#include <gtest/gtest.h>

TEST(CentredOrigin, SplitsTheFreeSpaceRoundingTowardZero) {
    struct Case {
        int screenWidth, screenHeight, width, height, x, y;
    };
    const Case cases[] = {
        {800, 600, 300, 200, 250, 200},
        {801, 601, 300, 200, 250, 200},  // odd free space drops the half pixel
        {800, 600, 301, 201, 249, 199},
        {800, 600, 800, 600, 0, 0},
        {800, 600, 1000, 700, -100, -50},  // larger than the screen: above and left of it
        {800, 600, 1001, 701, -100, -50},  // negative halves round toward zero, not down
        {640, 480, 0, 0, 320, 240},
    };
    for (const Case& c : cases) {
        ScreenPoint origin = CentredOrigin(c.screenWidth, c.screenHeight, c.width, c.height);
        EXPECT_EQ(c.x, origin.x) << c.width << "x" << c.height << " on " << c.screenWidth;
        EXPECT_EQ(c.y, origin.y) << c.width << "x" << c.height << " on " << c.screenHeight;
    }
}
