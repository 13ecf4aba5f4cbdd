// The pictures drawn with GDI+ (gdiplus.dll, part of every Windows):
// antialiased curves on axes with labelled ticks, and the eFuse map's grid,
// in the colours the Qt skin uses. Sizes are given at 96 DPI and multiplied
// by `scale` (the window's DPI / 96), so that a picture is as legible at
// 144 DPI as at 96.
#pragma once

#include "pictures_layout.h"

#include "deve/fuse_picture.h"
#include "deve/padpd_tables.h"
#include "deve/rx_history.h"

#include <windows.h>

#include <gdiplus.h>

#include <optional>
#include <vector>

namespace pictures {

// GdiplusStartup for the life of the program.
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession &) = delete;
    GdiplusSession &operator=(const GdiplusSession &) = delete;
    bool ok() const { return ok_; }

private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};

// What every picture needs: where, at what scale, in which font (the
// dialog's).
struct Canvas {
    Gdiplus::Graphics &graphics;
    Gdiplus::RectF area;
    const Gdiplus::Font &font;
    double scale = 1.0;
};

// The receive test: packet error rate (left axis) and frames per second
// (right axis) against the seconds since RX ON.
void draw_receive(const Canvas &canvas, const deve::RxHistory &history);

// The pre-distortion curves against the transmit scale: AM-AM gain, or
// AM-PM phase with the bands' legend.
enum class Curves { Gain, Phase };
void draw_curves(const Canvas &canvas, const std::vector<deve::PadpdCurve> &curves, Curves which);

// The 256 bits (outlined, empty, without a map) where pictures_layout.h
// puts them, the hovered record outlined (-1: none), and the legend below.
void draw_fuses(const Canvas &canvas, const std::optional<deve::FuseMap> &map, int highlighted);

}  // namespace pictures
