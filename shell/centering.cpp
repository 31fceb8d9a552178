// Centring arithmetic of the prompt dialogs.
#include "shell/centering.h"

ScreenPoint CentredOrigin(int screenWidth, int screenHeight, int width, int height) {
    return ScreenPoint{(screenWidth - width) / 2, (screenHeight - height) / 2};
}
