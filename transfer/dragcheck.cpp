#include "transfer/dragcheck.h"

#include <cstdlib>

namespace {

// One gesture for the whole program; only the UI thread touches it.
POINT DragStartPoint = {0, 0};
bool DragArmed = false;
bool DragStarted = false;

// |a - b| without overflow for any two ints.
long long Distance(int a, int b)
{
    return std::llabs(static_cast<long long>(a) - b);
}

}  // namespace

void WINAPI DragCheckMouseDown(BOOL leftButton, int x, int y)
{
    if (leftButton) {
        DragStartPoint = {x, y};
        DragArmed = true;
    }
    DragStarted = false;
}

BOOL WINAPI DragCheckMouseMove(BOOL leftButton, int x, int y)
{
    if (!leftButton || !DragArmed || DragStarted)
        return FALSE;
    // Read at every test: the user may change the drag rectangle at any time.
    if (Distance(DragStartPoint.x, x) > GetSystemMetrics(SM_CXDRAG) ||
        Distance(DragStartPoint.y, y) > GetSystemMetrics(SM_CYDRAG)) {
        DragStarted = true;
        return TRUE;
    }
    return FALSE;
}

void WINAPI DragCheckMouseUp(BOOL leftButton)
{
    if (!leftButton) {
        DragArmed = false;
        DragStarted = true;
    }
}
