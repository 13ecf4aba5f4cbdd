#include "trim_search.h"

#include <algorithm>
#include <cmath>

namespace deve::cli {

namespace {

constexpr double kSigmas = 3.0;
// The fitted centre is searched in tenths of a trim step.
constexpr double kCentreResolution = 0.1;
// A V whose sides rise less than this per step (in log-odds) is no V.
constexpr double kMinSlope = 0.02;
constexpr std::size_t kMinFitPoints = 5;

double rate(const TrimPoint &p) { return static_cast<double>(p.errors) / static_cast<double>(p.frames); }

// The Wilson score interval of a point's error rate.
struct Interval {
    double low;
    double high;
};
Interval wilson(const TrimPoint &p) {
    const double n = static_cast<double>(p.frames);
    const double z2 = kSigmas * kSigmas;
    const double r = rate(p);
    const double denominator = 1.0 + z2 / n;
    const double centre = (r + z2 / (2.0 * n)) / denominator;
    const double half = kSigmas * std::sqrt(r * (1.0 - r) / n + z2 / (4.0 * n * n)) / denominator;
    return {centre - half, centre + half};
}

// Weighted least squares of logit(PER) on |trim - centre|: the residual
// and the slope for one centre.
struct Line {
    double residual = 0;
    double slope = 0;
};
Line fit_at(const std::vector<TrimPoint> &points, double centre) {
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const TrimPoint &p : points) {
        const double n = static_cast<double>(p.frames);
        // Half a frame each way keeps the log-odds of 0 and n errors finite.
        const double r = (static_cast<double>(p.errors) + 0.5) / (n + 1.0);
        const double y = std::log(r / (1.0 - r));
        const double w = n * r * (1.0 - r);  // the inverse variance of y
        const double x = std::abs(static_cast<double>(p.trim) - centre);
        sw += w;
        sx += w * x;
        sy += w * y;
        sxx += w * x * x;
        sxy += w * x * y;
    }
    Line line;
    const double det = sw * sxx - sx * sx;
    if (det <= 0) {
        line.residual = INFINITY;
        return line;
    }
    line.slope = (sw * sxy - sx * sy) / det;
    const double intercept = (sy - line.slope * sx) / sw;
    for (const TrimPoint &p : points) {
        const double n = static_cast<double>(p.frames);
        const double r = (static_cast<double>(p.errors) + 0.5) / (n + 1.0);
        const double y = std::log(r / (1.0 - r));
        const double w = n * r * (1.0 - r);
        const double e = y - intercept - line.slope * std::abs(static_cast<double>(p.trim) - centre);
        line.residual += w * e * e;
    }
    return line;
}

}  // namespace

std::uint32_t coarse_step(std::uint32_t from, std::uint32_t to) {
    const std::uint32_t span = to >= from ? to - from : 0;
    return std::clamp<std::uint32_t>(span / 8, 1, kWidestCoarseStep);
}

std::vector<std::uint32_t> coarse_trims(std::uint32_t from, std::uint32_t to, std::uint32_t step) {
    std::vector<std::uint32_t> trims;
    for (std::uint32_t t = from; t <= to; t += step) {
        trims.push_back(t);
        if (to - t < step) {
            break;
        }
    }
    if (trims.empty() || trims.back() != to) {
        trims.push_back(to);
    }
    return trims;
}

std::vector<std::uint32_t> fine_trims(std::uint32_t centre, std::uint32_t step, std::uint32_t from, std::uint32_t to) {
    std::vector<std::uint32_t> trims{centre};
    for (std::uint32_t d = 1; d <= std::max(step, kMinFineReach); ++d) {
        if (centre >= from + d) {
            trims.push_back(centre - d);
        }
        if (centre + d <= to) {
            trims.push_back(centre + d);
        }
    }
    return trims;
}

bool clearly_worse(const TrimPoint &point, const TrimPoint &best) {
    if (point.frames < kMinFramesToJudge || best.frames == 0) {
        return false;
    }
    return wilson(point).low > wilson(best).high;
}

std::optional<TrimPoint> lowest(const std::vector<TrimPoint> &points) {
    std::optional<TrimPoint> found;
    for (const TrimPoint &p : points) {
        if (p.frames == 0) {
            continue;
        }
        // errors/frames < found.errors/found.frames, without division.
        const double here = static_cast<double>(p.errors) * static_cast<double>(found ? found->frames : 1);
        const double there = found ? static_cast<double>(found->errors) * static_cast<double>(p.frames) : 0;
        if (!found || here < there || (here == there && p.frames > found->frames)) {
            found = p;
        }
    }
    return found;
}

std::optional<TrimBest> best_trim(const std::vector<TrimPoint> &all) {
    std::vector<TrimPoint> points;
    const bool any_fine = std::any_of(all.begin(), all.end(), [](const TrimPoint &p) { return p.fine; });
    for (const TrimPoint &p : all) {
        if (p.frames != 0 && (p.fine || !any_fine)) {
            points.push_back(p);
        }
    }
    const std::optional<TrimPoint> low = lowest(points);
    if (!low) {
        return std::nullopt;
    }
    std::sort(points.begin(), points.end(), [](const TrimPoint &a, const TrimPoint &b) { return a.trim < b.trim; });

    // The V's centre, searched between the outermost points.
    if (points.size() >= kMinFitPoints) {
        const double first = points.front().trim;
        const double last = points.back().trim;
        std::optional<double> centre;
        Line best_line;
        best_line.residual = INFINITY;
        for (double c = first; c <= last + 1e-9; c += kCentreResolution) {
            const Line line = fit_at(points, c);
            if (line.residual < best_line.residual) {
                best_line = line;
                centre = c;
            }
        }
        // A V needs a side on each hand: some point left of the centre and
        // some right of it clearly worse than the lowest. A centre on the
        // window's edge says the V goes on beyond it.
        const auto side_rises = [&](bool left) {
            return std::any_of(points.begin(), points.end(), [&](const TrimPoint &p) {
                return (left ? p.trim < *centre : p.trim > *centre) && clearly_worse(p, *low);
            });
        };
        if (centre && best_line.slope > kMinSlope && *centre > first && *centre < last && side_rises(true) &&
            side_rises(false)) {
            return TrimBest{static_cast<std::uint32_t>(std::lround(*centre)), "fit",
                            std::round(*centre / kCentreResolution) * kCentreResolution};
        }
    }
    // No V: the middle of the run of trims that share the lowest rate; but
    // only when some trim measured is clearly worse than it: a minimum.
    const bool minimum = std::any_of(all.begin(), all.end(), [&](const TrimPoint &p) { return clearly_worse(p, *low); });
    const double lowest_rate = rate(*low);
    std::vector<std::uint32_t> run;
    for (const TrimPoint &p : points) {
        if (rate(p) == lowest_rate) {
            run.push_back(p.trim);
        }
    }
    return TrimBest{run[(run.size() - 1) / 2], minimum ? "lowest" : "none", std::nullopt};
}

TrimSearch search_trim(std::uint32_t from, std::uint32_t to, std::uint64_t frames, const MeasureTrim &measure) {
    TrimSearch s;
    const std::uint32_t step = coarse_step(from, to);
    auto run_pass = [&](const std::vector<std::uint32_t> &trims, std::uint64_t n, bool fine) {
        std::optional<TrimPoint> best;
        for (std::uint32_t trim : trims) {
            const std::optional<TrimPoint> point = measure(trim, n, best, fine);
            if (!point) {
                s.cut_short = true;
                return;
            }
            s.points.push_back(*point);
            best = lowest({*point, best.value_or(*point)});
        }
    };
    run_pass(coarse_trims(from, to, step), kCoarseFrames, false);
    if (!s.cut_short) {
        if (const std::optional<TrimBest> coarse = best_trim(s.points)) {
            run_pass(fine_trims(coarse->trim, step, from, to), frames, true);
        }
    }
    s.best = s.cut_short ? std::nullopt : best_trim(s.points);
    const bool on_edge = s.best && (s.best->trim == from || s.best->trim == to) && from != to;
    if (s.cut_short) {
        s.failure = "the search was cut short";
    } else if (!s.best) {
        s.failure = "no frame was received at any trim: is the bench signal source on?";
    } else if (s.best->method == "none") {
        s.failure = "no trim's error rate stands out from the others: the best lies outside the range searched, or "
                    "the receiver has no usable signal";
    } else if (on_edge) {
        s.failure = "the best trim " + std::to_string(s.best->trim) +
                    " is on the edge of the range searched: the best may lie beyond it (widen --from/--to)";
    }
    return s;
}

}  // namespace deve::cli
