// The "paint" callback of the main window's widgets.
#pragma once
#include "skin/base_skin.h"

// Asks the main window to erase and repaint the widget's rectangle.
void RepaintWidget(BaseSkin* widget);
