#include "app/repaint.h"

#include "state/app_state.h"

void RepaintWidget(BaseSkin* widget)
{
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    widget->GetBounds(&x, &y, &w, &h);
    const RECT bounds = {x, y, x + w, y + h};
    InvalidateRect(AppState.mainWindow, &bounds, TRUE);
}
