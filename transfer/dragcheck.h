// The drag gesture: decides from raw mouse events when a left-button press
// has turned into a drag. Exported by name from the executable.
#pragma once

#include <windows.h>

extern "C" {
// A button press at client point (x, y); leftButton: the left button is down
// after the event. A left press records the point and arms the gesture.
void WINAPI DragCheckMouseDown(BOOL leftButton, int x, int y);
// A move to (x, y). TRUE exactly once per left press: at the first move with
// the left button held that leaves the system's drag rectangle
// (SM_CXDRAG x SM_CYDRAG pixels on each side of the press point).
BOOL WINAPI DragCheckMouseMove(BOOL leftButton, int x, int y);
// A button release; when the left button is up after it, the gesture ends.
void WINAPI DragCheckMouseUp(BOOL leftButton);
}
