// Centring arithmetic of the prompt dialogs.
#include "ui/centering.h"

ScreenPoint CentredOrigin(int screenWidth, int screenHeight, int width, int height) {
    return ScreenPoint{(screenWidth - width) / 2, (screenHeight - height) / 2};
}
