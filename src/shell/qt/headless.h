#pragma once

namespace vornix7 {

// Before the QApplication is built: when the user has chosen no Qt platform
// (QT_QPA_PLATFORM) and the system names no display, the logger runs on
// Qt's offscreen platform, without a window, instead of aborting; it says so
// in one line on standard error. True when it did.
bool RunOffscreenWithoutDisplay();

// True when windows appear on a real screen; false for the headless
// platforms ("offscreen", "minimal") and without a GUI application.
bool HasRealDisplay();

} // namespace vornix7
