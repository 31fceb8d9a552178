// Where a centred dialog goes on the screen.
#pragma once

struct ScreenPoint {
    int x;
    int y;
};

// Top-left corner that centres a window of the given size on the screen; signed
// division that rounds toward zero, so a window larger than the screen goes above
// or left of its edge.
ScreenPoint CentredOrigin(int screenWidth, int screenHeight, int width, int height);
