// Where the eFuse map's bits lie in its picture window, at a DPI scale
// (the window's DPI / 96): for the panel, which draws and hovers them, and
// for the tests, which point at them.
#pragma once

#include "deve/fuse_picture.h"

#include <algorithm>
#include <cmath>

namespace pictures {

// Where the grid starts in the picture, at 96 DPI.
constexpr int kFuseGridOrigin = 4;

// The grid at a scale: a little smaller than the Qt skin's, so that the
// dialog with the panel open fits a 1280-pixel screen.
inline deve::FuseGridMetrics fuse_metrics(double scale) {
    const auto at = [scale](double size) { return std::max(1, static_cast<int>(std::lround(size * scale))); };
    deve::FuseGridMetrics m;
    m.cell = at(10);
    m.gap = at(1);
    m.byte_gap = at(3);
    m.left = at(26);
    m.top = at(16);
    m.dot = at(4);
    return m;
}

inline int fuse_grid_origin(double scale) { return static_cast<int>(std::lround(kFuseGridOrigin * scale)); }

}  // namespace pictures
