#include "Window_Placement.h"

#include <algorithm>

namespace {

// The start of a span of iSize centred on iFrom..iTo, kept within iMin..iMax where it fits.
int iCentred_Within(long iFrom, long iTo, int iSize, long iMin, long iMax)
{
    const long iStart = iFrom + (iTo - iFrom - iSize) / 2;
    return static_cast<int>(std::max(iMin, std::min(iStart, iMax - iSize)));
}

}  // namespace

POINT oCentred_Place(const RECT& oOwner, int iWidth, int iHeight, const RECT& oWork)
{
    return {iCentred_Within(oOwner.left, oOwner.right, iWidth, oWork.left, oWork.right),
            iCentred_Within(oOwner.top, oOwner.bottom, iHeight, oWork.top, oWork.bottom)};
}

POINT oStored_Place(bool bShown_Normally, const RECT& oWindow, const RECT& oNormal, const RECT& oWork,
                    const RECT& oMonitor)
{
    if (bShown_Normally)
        return {oWindow.left, oWindow.top};
    return {oNormal.left + (oWork.left - oMonitor.left), oNormal.top + (oWork.top - oMonitor.top)};
}
