// Where the program's windows go on the screen: plain arithmetic on rectangles
// in screen pixels, without window calls, so that tests can call it directly.
#pragma once

#include <windows.h>

// Top-left corner of a window of iWidth x iHeight centred on oOwner and then moved
// just enough to lie inside oWork, the work area of the owner's monitor; a window
// larger than the work area starts at its top-left corner.
POINT oCentred_Place(const RECT& oOwner, int iWidth, int iHeight, const RECT& oWork);

// The top-left corner the settings store for a window at exit.  A window shown
// normally gives its own rectangle oWindow; a minimised or maximised one its normal
// place oNormal, which GetWindowPlacement gives in workspace coordinates: relative
// to the work area oWork of the monitor oMonitor it lies on.  Negative coordinates
// come back as they are; the settings store them as 0.
POINT oStored_Place(bool bShown_Normally, const RECT& oWindow, const RECT& oNormal, const RECT& oWork,
                    const RECT& oMonitor);
