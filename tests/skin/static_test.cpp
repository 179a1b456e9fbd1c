#include <gtest/gtest.h>

#include "pixels.h"
#include "skin/static_skin.h"

namespace {

struct Row {
    const char* what;
    const char* name;  // the state name, which a static ignores
    int sourceW, sourceH;
    RECT bounds;  // x, y, w, h of the widget
    RECT image;   // x, y, w, h in the source
    bool disabled, hidden;
    int canvas;
    bool drawn;  // the widget shows the source from the image's corner, nothing else is touched
};

const Row kRows[] = {
    {"any name", "whatever", 10, 10, {2, 2, 4, 4}, {3, 1, 4, 4}, false, false, 8, true},
    {"empty name", "", 10, 10, {2, 2, 4, 4}, {3, 1, 4, 4}, false, false, 8, true},
    {"no name", nullptr, 10, 10, {2, 2, 4, 4}, {3, 1, 4, 4}, false, false, 8, true},
    {"disabled still draws", nullptr, 4, 4, {0, 0, 4, 4}, {0, 0, 4, 4}, true, false, 4, true},
    {"hidden does not", nullptr, 4, 4, {0, 0, 4, 4}, {0, 0, 4, 4}, false, true, 4, false},
    {"tile mode clips a large source", nullptr, 160, 270, {3, 3, 15, 15}, {0, 0, 160, 270}, false, false, 25, true},
    {"a sizeless image draws nothing", nullptr, 10, 10, {0, 0, 10, 10}, {0, 0, 0, 10}, false, false, 10, false},
};

TEST(StaticSkin, Table)
{
    for (const Row& row : kRows) {
        const PatternDib source(row.sourceW, row.sourceH);
        StaticSkin widget;
        const RECT& at = row.bounds;
        widget.SetBounds(at.left, at.top, at.right, at.bottom);
        widget.SetImage(row.name, source.Handle(), row.image.left, row.image.top, row.image.right, row.image.bottom, 0);
        widget.SetDisabled(row.disabled);
        widget.SetVisible(!row.hidden);
        Canvas canvas(row.canvas, row.canvas);
        widget.Draw(canvas.Dc(), nullptr);
        const int area = row.canvas * row.canvas;
        const int covered = row.drawn ? at.right * at.bottom : 0;
        EXPECT_EQ(area - covered, canvas.Count(0, 0, row.canvas, row.canvas, kBackground)) << row.what;
        if (row.drawn) {
            EXPECT_EQ(0, canvas.PatternMisses(at.left, at.top, at.right, at.bottom, row.image.left, row.image.top))
                << row.what;
        }
    }
}

}  // namespace
