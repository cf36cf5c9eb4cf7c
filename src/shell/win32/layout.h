#pragma once

namespace vornix7::win32 {

// The window's sizes in twips (1/1440 inch), as the window is designed; they
// become pixels at the window's own DPI, so it has the same size in inches on
// every screen: 278 x 64 pixels at 96 DPI, 417 x 96 at 144 DPI.
struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kClientWidthTwips = 4170;
inline constexpr int kClientHeightTwips = 960;
inline constexpr TwipsRect kExitTwips{2760, 120, 1275, 315};
inline constexpr TwipsRect kStatusTwips{60, 540, 3975, 315};

} // namespace vornix7::win32
