#pragma once

#include <cmath>

namespace quorvane {

// The window layouts are measured in twips: 1440 to the inch, 15 to a pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

inline float pixelsToTwips(int pixels)
{
    return static_cast<float>(pixels * kTwipsPerPixel);
}

inline int twipsToPixels(float twips)
{
    return static_cast<int>(std::lround(twips / static_cast<float>(kTwipsPerPixel)));
}

// The width each of columnCount columns gets when they share a list view's outer width less 350
// twips, computed in single precision as the list view did.
inline float evenColumnWidthTwips(float outerWidthTwips, int columnCount)
{
    return (outerWidthTwips - 350.0f) / static_cast<float>(columnCount);
}

} // namespace quorvane
