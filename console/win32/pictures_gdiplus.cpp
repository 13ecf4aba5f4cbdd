#include "pictures_gdiplus.h"

#include "wide.h"

#include "deve/pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace pictures {

namespace {

using Gdiplus::Color;
using Gdiplus::PointF;
using Gdiplus::RectF;
using Gdiplus::REAL;

// Sizes at 96 DPI.
constexpr double kPenWidth = 2;
constexpr double kMarker = 3;      // radius of a curve's point
constexpr double kTick = 4;        // tick length
constexpr double kGap = 4;         // between a label and what it names
constexpr double kPadding = 6;     // around the whole picture
constexpr double kSwatchLine = 18; // a legend entry's sample line
constexpr double kSwatch = 12;     // a fuse legend entry's colour square

constexpr std::uint32_t kTextRgb = 0x000000;
constexpr std::uint32_t kFrameRgb = 0x808080;
constexpr std::uint32_t kGridRgb = 0xE0E0E0;
constexpr std::uint32_t kBackgroundRgb = 0xFFFFFF;
constexpr std::uint32_t kHighlightRgb = 0x000000;

Color colour(std::uint32_t rgb) {
    return Color(static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb));
}

REAL px(const Canvas &c, double size) { return static_cast<REAL>(size * c.scale); }

RectF measure(const Canvas &c, const std::wstring &text) {
    RectF box;
    c.graphics.MeasureString(text.c_str(), static_cast<INT>(text.size()), &c.font, PointF(0, 0), &box);
    return box;
}

void text_at(const Canvas &c, const std::wstring &text, PointF at, std::uint32_t rgb = kTextRgb) {
    Gdiplus::SolidBrush brush(colour(rgb));
    c.graphics.DrawString(text.c_str(), static_cast<INT>(text.size()), &c.font, at, &brush);
}

// Text placed by one of its corners or edges: `ax`, `ay` 0 = left/top,
// 0.5 = centre, 1 = right/bottom.
void text_placed(const Canvas &c, const std::wstring &text, PointF at, REAL ax, REAL ay,
                 std::uint32_t rgb = kTextRgb) {
    const RectF box = measure(c, text);
    text_at(c, text, PointF(at.X - ax * box.Width, at.Y - ay * box.Height), rgb);
}

// Text turned a quarter to the left, centred on `at` (a vertical axis title).
void text_upright(const Canvas &c, const std::wstring &text, PointF at, std::uint32_t rgb) {
    const Gdiplus::GraphicsState saved = c.graphics.Save();
    c.graphics.TranslateTransform(at.X, at.Y);
    c.graphics.RotateTransform(-90);
    text_placed(c, text, PointF(0, 0), 0.5F, 0.5F, rgb);
    c.graphics.Restore(saved);
}

std::wstring number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return widen(text);
}

// One curve: its points in the axes' units, drawn against the left or the
// right value axis.
struct Series {
    std::vector<PointF> points;
    std::uint32_t rgb = 0;
    std::wstring name;
    bool right = false;
    bool markers = false;
};

struct Axis {
    std::wstring title;  // empty: none
    deve::AxisScale scale;
    std::uint32_t rgb = kTextRgb;
};

struct Chart {
    Axis x;
    Axis left;
    std::optional<Axis> right;
    std::vector<Series> series;
    bool legend = false;
};

double tick_value(const deve::AxisScale &scale, int i) {
    return scale.low + (scale.high - scale.low) * i / std::max(1, scale.ticks - 1);
}

REAL widest_label(const Canvas &c, const deve::AxisScale &scale) {
    REAL widest = 0;
    for (int i = 0; i < scale.ticks; ++i) {
        widest = std::max(widest, measure(c, number(tick_value(scale, i), scale.decimals)).Width);
    }
    return widest;
}

void draw_chart(const Canvas &c, const Chart &chart) {
    Gdiplus::Graphics &g = c.graphics;
    const REAL line = measure(c, L"0").Height;
    const REAL side_left = px(c, kPadding) + (chart.left.title.empty() ? 0 : line + px(c, kGap)) +
                           widest_label(c, chart.left.scale) + px(c, kTick);
    const REAL side_right = chart.right ? px(c, kPadding) + line + px(c, kGap) + widest_label(c, chart.right->scale) +
                                              px(c, kTick)
                                        : px(c, kPadding) + line;
    // The legend's entries flow into as many rows as the width needs.
    std::vector<std::vector<const Series *>> legend_rows;
    std::vector<REAL> row_widths;
    if (chart.legend) {
        const REAL room = c.area.Width - 2 * px(c, kPadding);
        for (const Series &s : chart.series) {
            const REAL width = px(c, kSwatchLine) + px(c, kGap) + measure(c, s.name).Width + px(c, 2 * kGap);
            if (legend_rows.empty() || row_widths.back() + width > room) {
                legend_rows.emplace_back();
                row_widths.push_back(0);
            }
            legend_rows.back().push_back(&s);
            row_widths.back() += width;
        }
    }
    REAL below = px(c, kTick) + line + px(c, kPadding);
    below += chart.x.title.empty() ? 0 : line;
    below += legend_rows.empty() ? 0 : static_cast<REAL>(legend_rows.size()) * line + px(c, kGap);
    const RectF plot(c.area.X + side_left, c.area.Y + px(c, kPadding) + line / 2,
                     std::max<REAL>(1, c.area.Width - side_left - side_right),
                     std::max<REAL>(1, c.area.Height - px(c, kPadding) - line / 2 - below));

    const auto map_x = [&](double v) {
        const deve::AxisScale &s = chart.x.scale;
        return plot.X + static_cast<REAL>((v - s.low) / (s.high - s.low)) * plot.Width;
    };
    const auto map_y = [&](const deve::AxisScale &s, double v) {
        return plot.GetBottom() - static_cast<REAL>((v - s.low) / (s.high - s.low)) * plot.Height;
    };

    // Grid, frame, ticks and their labels.
    Gdiplus::Pen grid(colour(kGridRgb), px(c, 1));
    Gdiplus::Pen frame(colour(kFrameRgb), px(c, 1));
    for (int i = 0; i < chart.x.scale.ticks; ++i) {
        const double v = tick_value(chart.x.scale, i);
        const REAL x = map_x(v);
        g.DrawLine(&grid, x, plot.Y, x, plot.GetBottom());
        g.DrawLine(&frame, x, plot.GetBottom(), x, plot.GetBottom() + px(c, kTick));
        text_placed(c, number(v, chart.x.scale.decimals), PointF(x, plot.GetBottom() + px(c, kTick)), 0.5F, 0);
    }
    const auto value_axis = [&](const Axis &axis, bool right) {
        for (int i = 0; i < axis.scale.ticks; ++i) {
            const double v = tick_value(axis.scale, i);
            const REAL y = map_y(axis.scale, v);
            if (!right) {
                g.DrawLine(&grid, plot.X, y, plot.GetRight(), y);
            }
            const REAL edge = right ? plot.GetRight() : plot.X;
            const REAL out = right ? px(c, kTick) : -px(c, kTick);
            g.DrawLine(&frame, edge, y, edge + out, y);
            text_placed(c, number(v, axis.scale.decimals), PointF(edge + out + (right ? 1 : -1) * px(c, 2), y),
                        right ? 0.0F : 1.0F, 0.5F, axis.rgb);
        }
        if (!axis.title.empty()) {
            const REAL x = right ? c.area.GetRight() - px(c, kPadding) - line / 2 : c.area.X + px(c, kPadding) + line / 2;
            text_upright(c, axis.title, PointF(x, plot.Y + plot.Height / 2), axis.rgb);
        }
    };
    value_axis(chart.left, false);
    if (chart.right) {
        value_axis(*chart.right, true);
    }
    g.DrawRectangle(&frame, plot);
    REAL y_text = plot.GetBottom() + px(c, kTick) + line;
    if (!chart.x.title.empty()) {
        text_placed(c, chart.x.title, PointF(plot.X + plot.Width / 2, y_text), 0.5F, 0);
        y_text += line;
    }

    // The curves, inside the plot.
    g.SetClip(RectF(plot.X - px(c, kMarker), plot.Y - px(c, kMarker), plot.Width + 2 * px(c, kMarker),
                    plot.Height + 2 * px(c, kMarker)));
    for (const Series &s : chart.series) {
        const deve::AxisScale &scale = s.right && chart.right ? chart.right->scale : chart.left.scale;
        std::vector<PointF> points;
        for (const PointF &p : s.points) {
            points.emplace_back(map_x(p.X), map_y(scale, p.Y));
        }
        Gdiplus::Pen pen(colour(s.rgb), px(c, kPenWidth));
        pen.SetLineJoin(Gdiplus::LineJoinRound);
        if (points.size() > 1) {
            g.DrawLines(&pen, points.data(), static_cast<INT>(points.size()));
        }
        if (s.markers || points.size() == 1) {
            Gdiplus::SolidBrush dot(colour(s.rgb));
            const REAL r = px(c, kMarker);
            for (const PointF &p : points) {
                g.FillEllipse(&dot, p.X - r, p.Y - r, 2 * r, 2 * r);
            }
        }
    }
    g.ResetClip();

    // The legend: a sample line and the name of each curve, each row centred.
    for (std::size_t row = 0; row < legend_rows.size(); ++row) {
        REAL x = c.area.X + std::max<REAL>(px(c, kPadding), (c.area.Width - row_widths[row]) / 2);
        const REAL y = y_text + px(c, kGap) + (static_cast<REAL>(row) + 0.5F) * line;
        for (const Series *s : legend_rows[row]) {
            Gdiplus::Pen pen(colour(s->rgb), px(c, kPenWidth));
            g.DrawLine(&pen, x, y, x + px(c, kSwatchLine), y);
            x += px(c, kSwatchLine) + px(c, kGap);
            text_placed(c, s->name, PointF(x, y), 0, 0.5F);
            x += measure(c, s->name).Width + px(c, 2 * kGap);
        }
    }
}

void background(const Canvas &c) {
    Gdiplus::SolidBrush white(colour(kBackgroundRgb));
    c.graphics.FillRectangle(&white, c.area);
}

}  // namespace

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
}

GdiplusSession::~GdiplusSession() {
    if (ok_) {
        Gdiplus::GdiplusShutdown(token_);
    }
}

void draw_receive(const Canvas &canvas, const deve::RxHistory &history) {
    background(canvas);
    Chart chart;
    chart.x = {L"seconds since RX ON", deve::receive_time_scale(history), kTextRgb};
    chart.left = {L"PER (%)", deve::receive_per_scale(history), deve::kPerCurveRgb};
    chart.right = Axis{L"frames/s", deve::receive_rate_scale(history), deve::kRateCurveRgb};
    chart.legend = true;
    Series per{{}, deve::kPerCurveRgb, L"PER (%)", false, false};
    Series rate{{}, deve::kRateCurveRgb, L"frames received per second", true, false};
    for (const deve::RxPoint &p : history.per()) {
        per.points.emplace_back(static_cast<REAL>(p.seconds), static_cast<REAL>(p.value));
    }
    for (const deve::RxPoint &p : history.rate()) {
        rate.points.emplace_back(static_cast<REAL>(p.seconds), static_cast<REAL>(p.value));
    }
    chart.series = {per, rate};
    draw_chart(canvas, chart);
}

void draw_curves(const Canvas &canvas, const std::vector<deve::PadpdCurve> &curves, Curves which) {
    background(canvas);
    const bool gain = which == Curves::Gain;
    Chart chart;
    // The two charts share the scale axis: its title and the legend once,
    // below the phase chart.
    chart.x = {gain ? L"" : L"TX scale (RG_TX_SCALE)", deve::curve_scale_axis(), kTextRgb};
    chart.left = gain ? Axis{L"AM-AM (/512)", deve::curve_gain_axis(curves), kTextRgb}
                      : Axis{L"AM-PM (\u00B0)", deve::curve_phase_axis(curves), kTextRgb};
    chart.legend = !gain;
    for (std::size_t b = 0; b < deve::kPadpdBands.size(); ++b) {
        Series s;
        s.rgb = deve::kBandCurveRgb[b];
        s.name = widen(b < curves.size() ? curves[b].band : deve::kPadpdBands[b].name);
        s.markers = true;
        if (b < curves.size()) {
            for (const deve::PadpdPoint &p : curves[b].points) {
                s.points.emplace_back(static_cast<REAL>(p.scale), static_cast<REAL>(gain ? p.gain : p.phase));
            }
        }
        chart.series.push_back(s);
    }
    draw_chart(canvas, chart);
}

void draw_fuses(const Canvas &c, const std::optional<deve::FuseMap> &map, int highlighted) {
    background(c);
    Gdiplus::Graphics &g = c.graphics;
    const deve::FuseGridMetrics m = fuse_metrics(c.scale);
    const REAL ox = c.area.X + static_cast<REAL>(fuse_grid_origin(c.scale));
    const REAL oy = c.area.Y + static_cast<REAL>(fuse_grid_origin(c.scale));
    const auto cell_rect = [&](unsigned bit) {
        const deve::FuseGridRect r = deve::fuse_grid_cell(bit, m);
        return RectF(ox + static_cast<REAL>(r.x), oy + static_cast<REAL>(r.y), static_cast<REAL>(r.width - 1),
                     static_cast<REAL>(r.height - 1));
    };
    for (int column = 0; column < deve::kFuseGridBitsPerRow; column += 8) {
        const RectF cell = cell_rect(static_cast<unsigned>(column));
        text_placed(c, std::to_wstring(column), PointF(cell.X, oy + static_cast<REAL>(m.top) - px(c, 2)), 0, 1);
    }
    for (int row = 0; row < deve::kFuseGridRows; ++row) {
        const RectF cell = cell_rect(static_cast<unsigned>(row * deve::kFuseGridBitsPerRow));
        text_placed(c, std::to_wstring(row * deve::kFuseGridBitsPerRow),
                    PointF(ox + static_cast<REAL>(m.left) - px(c, kGap), cell.Y + cell.Height / 2), 1, 0.5F);
    }

    const deve::FuseCells cells = map ? deve::fuse_cells(*map) : deve::FuseCells{};
    for (unsigned bit = 0; bit < deve::kFuseMapBits; ++bit) {
        const RectF rect = cell_rect(bit);
        if (!map) {
            Gdiplus::Pen outline(colour(deve::kFuseEmptyOutlineRgb), px(c, 1));
            g.DrawRectangle(&outline, rect);
            continue;
        }
        const deve::FuseCell &cell = cells[bit];
        const std::uint32_t fill = deve::fuse_cell_rgb(*map, cell);
        Gdiplus::SolidBrush brush(colour(fill));
        g.FillRectangle(&brush, rect);
        Gdiplus::Pen outline(colour(deve::fuse_cell_outline_rgb(*map, cell)), px(c, 1));
        g.DrawRectangle(&outline, rect);
        if (cell.programmed) {
            Gdiplus::SolidBrush dot(colour(deve::fuse_dot_rgb(fill)));
            const REAL r = static_cast<REAL>(m.dot) / 2;
            g.FillEllipse(&dot, rect.X + rect.Width / 2 - r, rect.Y + rect.Height / 2 - r, 2 * r, 2 * r);
        }
    }
    if (map && highlighted >= 0) {
        Gdiplus::Pen pen(colour(kHighlightRgb), px(c, 2));
        for (unsigned bit = 0; bit < deve::kFuseMapBits; ++bit) {
            if (cells[bit].record == highlighted) {
                g.DrawRectangle(&pen, cell_rect(bit));
            }
        }
    }

    // The legend below the grid, two entries a row.
    if (!map) {
        return;
    }
    const deve::FuseGridRect bounds = deve::fuse_grid_bounds(m);
    const REAL line = measure(c, L"0").Height;
    const REAL column_width = static_cast<REAL>(bounds.width) / 2;
    const std::vector<deve::FuseLegendEntry> legend = deve::fuse_legend(*map);
    Gdiplus::Pen swatch_outline(colour(kFrameRgb), px(c, 1));
    for (std::size_t i = 0; i < legend.size(); ++i) {
        const REAL x = ox + static_cast<REAL>(m.left) + static_cast<REAL>(i % 2) * column_width;
        const REAL y = oy + static_cast<REAL>(bounds.height) + px(c, kPadding) + static_cast<REAL>(i / 2) * line;
        const RectF swatch(x, y + (line - px(c, kSwatch)) / 2, px(c, kSwatch), px(c, kSwatch));
        Gdiplus::SolidBrush brush(colour(legend[i].rgb));
        g.FillRectangle(&brush, swatch);
        g.DrawRectangle(&swatch_outline, swatch);
        text_at(c, widen(legend[i].label), PointF(x + px(c, kSwatch) + px(c, kGap), y));
    }
}

}  // namespace pictures
