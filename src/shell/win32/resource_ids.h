#pragma once

// Shared by the resource script (windres) and the C++ code.
#define VORNIX7_APP_ICON 1

#ifdef __cplusplus
namespace vornix7::win32 {
inline constexpr int kAppIconId = VORNIX7_APP_ICON;
} // namespace vornix7::win32
#endif
