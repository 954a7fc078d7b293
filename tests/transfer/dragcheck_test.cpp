// The drag gesture as a pure function of the mouse events.
#include "transfer/dragcheck.h"

#include <gtest/gtest.h>

#include <climits>

TEST(DragCheck, StartsOnceJustOutsideTheDragRectangle)
{
    const int cx = GetSystemMetrics(SM_CXDRAG), cy = GetSystemMetrics(SM_CYDRAG);
    const struct {
        int dx, dy;
        bool starts;
    } cases[] = {{cx, cy, false},      {-cx, -cy, false}, {cx + 1, 0, true}, {-cx - 1, 0, true},
                 {0, cy + 1, true},    {0, -cy - 1, true}, {0, 0, false},    {cx + 1, cy + 1, true}};
    for (const auto &c : cases) {
        DragCheckMouseDown(TRUE, 50, 50);
        EXPECT_EQ(c.starts, DragCheckMouseMove(TRUE, 50 + c.dx, 50 + c.dy) != FALSE) << c.dx << "," << c.dy;
        // A distant move starts the drag only if it has not started yet: once per press.
        EXPECT_EQ(!c.starts, DragCheckMouseMove(TRUE, 50 + 10 * cx + 10, 50) != FALSE);
    }
    // Far points do not overflow the distance.
    DragCheckMouseDown(TRUE, INT_MIN, 0);
    EXPECT_TRUE(DragCheckMouseMove(TRUE, INT_MAX, 0));
}

TEST(DragCheck, OnlyAMoveWithTheLeftButtonHeldAfterALeftPressStarts)
{
    const int distant = 10 * GetSystemMetrics(SM_CXDRAG) + 10;
    // A move with the button up, even after a press whose release was never seen.
    DragCheckMouseDown(TRUE, 0, 0);
    EXPECT_FALSE(DragCheckMouseMove(FALSE, distant, 0));
    // A release ends the press; a later move with the button held is no drag.
    DragCheckMouseUp(FALSE);
    EXPECT_FALSE(DragCheckMouseMove(TRUE, distant, 0));
    // A release while the left button is still held changes nothing.
    DragCheckMouseDown(TRUE, 0, 0);
    DragCheckMouseUp(TRUE);
    EXPECT_TRUE(DragCheckMouseMove(TRUE, distant, 0));
    // Another button pressed with the left one up: no point is recorded, the
    // old one stays, nothing starts without the left button.
    DragCheckMouseUp(FALSE);
    DragCheckMouseDown(FALSE, distant, 0);
    EXPECT_FALSE(DragCheckMouseMove(FALSE, 2 * distant, 0));
    // ... and with the left button held again the gesture runs from the old point.
    DragCheckMouseDown(TRUE, 0, 0);
    DragCheckMouseDown(FALSE, distant, 0);
    EXPECT_FALSE(DragCheckMouseMove(TRUE, GetSystemMetrics(SM_CXDRAG), 0));
    EXPECT_TRUE(DragCheckMouseMove(TRUE, distant, 0));
}
