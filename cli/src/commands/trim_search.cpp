#include "trim_search.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <set>
#include <utility>

namespace deve::cli {

namespace {

constexpr double kSigmas = 3.0;
// The fitted centre is given in tenths of a trim step.
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

// -log(1 / (1 + exp(-x))), without overflow.
double softplus(double x) { return x > 0 ? x + std::log1p(std::exp(-x)) : std::log1p(std::exp(x)); }

// logit(PER) = a + b |trim - centre| for one centre, the (a, b) that make
// the counts likeliest, and the counts' negative log-likelihood under it.
struct Line {
    double a = 0;
    double b = 0;
    double nll = INFINITY;
};
constexpr double kLogitFloor = -40;  // no errors at all: the rate goes to zero
constexpr double kSteepest = 20;     // log-odds a step: a wall

double nll_of(const std::vector<TrimPoint> &points, double centre, double a, double b) {
    double nll = 0;
    for (const TrimPoint &p : points) {
        // -log(PER) = softplus(-eta), -log(1 - PER) = softplus(eta) = softplus(-eta) + eta.
        const double eta = a + b * std::abs(static_cast<double>(p.trim) - centre);
        const double n = static_cast<double>(p.frames);
        nll += n * softplus(-eta) + (n - static_cast<double>(p.errors)) * eta;
    }
    return nll;
}

// Newton's method on (a, b) from `start`, halving a step that does not help.
Line fit_at(const std::vector<TrimPoint> &points, double centre, Line start) {
    Line line = start;
    line.nll = nll_of(points, centre, line.a, line.b);
    for (int iteration = 0; iteration < 40; ++iteration) {
        double ga = 0, gb = 0, haa = 1e-9, hab = 0, hbb = 1e-9;
        for (const TrimPoint &p : points) {
            const double x = std::abs(static_cast<double>(p.trim) - centre);
            const double n = static_cast<double>(p.frames);
            const double per = 1.0 / (1.0 + std::exp(-(line.a + line.b * x)));
            const double residual = n * per - static_cast<double>(p.errors);
            const double w = n * per * (1.0 - per);
            ga += residual;
            gb += residual * x;
            haa += w;
            hab += w * x;
            hbb += w * x * x;
        }
        const double det = haa * hbb - hab * hab;
        if (!(det > 0)) {
            break;
        }
        const double da = (hbb * ga - hab * gb) / det;
        const double db = (haa * gb - hab * ga) / det;
        bool moved = false;
        for (double t = 1.0; t > 1e-4; t /= 2) {
            const double a = std::max(kLogitFloor, line.a - t * da);
            const double b = std::clamp(line.b - t * db, 0.0, kSteepest);
            const double nll = nll_of(points, centre, a, b);
            if (nll < line.nll - 1e-12) {
                moved = std::abs(a - line.a) + std::abs(b - line.b) > 1e-9;
                line = Line{a, b, nll};
                break;
            }
        }
        if (!moved) {
            break;
        }
    }
    return line;
}

// The centre whose best line makes the counts likeliest, searched between
// the outermost points, and the centres within kCentreSigmas of it.
struct Centre {
    double centre = 0;
    Line line;
    double low = 0;
    double high = 0;
};
constexpr double kCentreGrid = 0.25;
std::optional<Centre> fit_centre(const std::vector<TrimPoint> &points) {
    const double first = points.front().trim;
    const double last = points.back().trim;
    std::vector<std::pair<double, double>> profile;  // centre, negative log-likelihood
    Line start{-3.0, 0.3, INFINITY};
    std::optional<Centre> best;
    for (double c = first; c <= last + 1e-9; c += kCentreGrid) {
        const Line line = fit_at(points, c, start);
        start = line;
        profile.emplace_back(c, line.nll);
        if (!best || line.nll < best->line.nll) {
            best = Centre{c, line, c, c};
        }
    }
    if (!best || !std::isfinite(best->line.nll)) {
        return std::nullopt;
    }
    // Finer between the grid's neighbours of the best.
    const double coarse = best->centre;
    for (double c = coarse - kCentreGrid; c <= coarse + kCentreGrid + 1e-9; c += kCentreResolution / 4) {
        const Line line = fit_at(points, c, best->line);
        if (c >= first && c <= last && line.nll < best->line.nll) {
            best->centre = c;
            best->line = line;
        }
    }
    best->low = best->high = best->centre;
    // The likelihood-ratio interval, widened to the grid points just outside.
    const double limit = best->line.nll + kCentreSigmas * kCentreSigmas / 2;
    for (const auto &[c, nll] : profile) {
        if (nll <= limit) {
            best->low = std::min(best->low, c - kCentreGrid);
            best->high = std::max(best->high, c + kCentreGrid);
        }
    }
    return best;
}

// The trims whose counts lie beyond kOddSigmas of the fitted V: a burst of
// interference, say, during their reading.
constexpr double kOddSigmas = 4.5;
std::vector<std::uint32_t> off_the_v(const std::vector<TrimPoint> &pool, const TrimBest &fit) {
    std::vector<std::uint32_t> odd;
    for (const TrimPoint &p : pool) {
        const double eta = *fit.floor_logit + *fit.slope * std::abs(static_cast<double>(p.trim) - *fit.centre);
        const double per = 1.0 / (1.0 + std::exp(-eta));
        const double n = static_cast<double>(p.frames);
        const double spread = std::sqrt(std::max(n * per * (1.0 - per), 1.0));
        if (std::abs(static_cast<double>(p.errors) - n * per) > kOddSigmas * spread) {
            odd.push_back(p.trim);
        }
    }
    return odd;
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

std::vector<std::uint32_t> coarse_order(const std::vector<std::uint32_t> &trims) {
    // The middle of each run of trims not yet taken, the widest runs first.
    std::vector<std::uint32_t> order;
    std::vector<std::pair<std::size_t, std::size_t>> runs;  // [first, last) of trims
    if (!trims.empty()) {
        runs.emplace_back(0, trims.size());
    }
    for (std::size_t next = 0; next < runs.size(); ++next) {
        const auto [first, last] = runs[next];
        const std::size_t middle = first + (last - first - 1) / 2;
        order.push_back(trims[middle]);
        if (middle > first) {
            runs.emplace_back(first, middle);
        }
        if (middle + 1 < last) {
            runs.emplace_back(middle + 1, last);
        }
    }
    return order;
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

std::vector<std::uint64_t> look_schedule(std::uint64_t frames) {
    std::vector<std::uint64_t> looks;
    for (std::uint64_t n = kFirstLook; n < frames;
         n = std::max(n + 1, static_cast<std::uint64_t>(std::ceil(static_cast<double>(n) * kLookGrowth)))) {
        looks.push_back(n);
    }
    return looks;
}

double fisher_worse(const TrimPoint &point, const TrimPoint &best) {
    if (point.frames == 0 || best.frames == 0) {
        return 1.0;
    }
    const double n = static_cast<double>(point.frames);
    const double m = static_cast<double>(best.frames);
    const double x = static_cast<double>(std::min(point.errors, point.frames));
    const double t = x + static_cast<double>(std::min(best.errors, best.frames));
    // P(X = k) = C(n, k) C(m, t - k) / C(n + m, t), summed from k = x up; each
    // term from the one before: P(k + 1) / P(k) = (n - k)(t - k) / ((k + 1)(m - t + k + 1)).
    const auto log_choose = [](double a, double b) {
        return std::lgamma(a + 1) - std::lgamma(b + 1) - std::lgamma(a - b + 1);
    };
    const auto at = [&](double k) {
        return std::exp(log_choose(n, k) + log_choose(m, t - k) - log_choose(n + m, t));
    };
    const double low_k = std::max(0.0, t - m);
    if (x * (n + m) > t * n) {
        // Above the mean: the terms fall from x on.
        double sum = 0;
        double term = at(x);
        for (double k = x; k <= std::min(n, t) && term > sum * 1e-17; k += 1) {
            sum += term;
            term *= (n - k) * (t - k) / ((k + 1) * (m - t + k + 1));
        }
        return std::min(sum, 1.0);
    }
    // At or below the mean: one less the chance of fewer, whose terms fall
    // from x - 1 down.
    double below = 0;
    if (x > low_k) {
        double term = at(x - 1);
        for (double k = x - 1; k >= low_k && term > below * 1e-17; k -= 1) {
            below += term;
            term *= k * (m - t + k) / ((n - k + 1) * (t - k + 1));
        }
    }
    return std::clamp(1.0 - below, 0.0, 1.0);
}

EarlyStop::EarlyStop(const TrimPoint &best, std::uint64_t frames, double level)
    : best_(best), schedule_(look_schedule(frames)), level_(level) {}

bool EarlyStop::worse(const TrimPoint &now) {
    if (!best_ || next_ == schedule_.size() || now.frames < schedule_[next_]) {
        return false;
    }
    while (next_ < schedule_.size() && schedule_[next_] <= now.frames) {
        ++next_;
    }
    ++looks_made_;
    // Only a rate read above the best's can be worse; the test decides.
    const bool above = static_cast<double>(now.errors) * static_cast<double>(best_->frames) >
                       static_cast<double>(best_->errors) * static_cast<double>(now.frames);
    return above && fisher_worse(now, *best_) <= level_;
}

std::optional<std::uint64_t> EarlyStop::next_look() const {
    if (!best_ || next_ == schedule_.size()) {
        return std::nullopt;
    }
    return schedule_[next_];
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

bool usable(const TrimPoint &point) { return !point.stopped_early && !point.rejected && point.frames != 0; }

std::vector<TrimPoint> pooled(const std::vector<TrimPoint> &points) {
    std::vector<TrimPoint> out;
    for (const TrimPoint &p : points) {
        if (!usable(p)) {
            continue;
        }
        const auto same = std::find_if(out.begin(), out.end(), [&p](const TrimPoint &q) { return q.trim == p.trim; });
        if (same == out.end()) {
            out.push_back(p);
        } else {
            same->errors += p.errors;
            same->frames += p.frames;
        }
    }
    std::sort(out.begin(), out.end(), [](const TrimPoint &a, const TrimPoint &b) { return a.trim < b.trim; });
    return out;
}

std::optional<TrimBest> best_trim(const std::vector<TrimPoint> &all) {
    const bool any_fine = std::any_of(all.begin(), all.end(), [](const TrimPoint &p) { return p.fine; });
    std::vector<TrimPoint> pass;  // the points of the pass judged
    std::copy_if(all.begin(), all.end(), std::back_inserter(pass),
                 [any_fine](const TrimPoint &p) { return p.fine || !any_fine; });
    const std::vector<TrimPoint> points = pooled(pass);  // one reading a trim, by trim
    const std::optional<TrimPoint> low = lowest(points);
    if (!low) {
        return std::nullopt;
    }
    // Whether the rate rises beyond doubt somewhere on one side of a trim:
    // a point stopped early counts as worse.
    const auto rises = [&](double at, bool left) {
        return std::any_of(pass.begin(), pass.end(), [&](const TrimPoint &p) {
            return !p.rejected && (left ? p.trim < at : p.trim > at) && (p.stopped_early || clearly_worse(p, *low));
        });
    };
    const auto reading_at = [&](std::uint32_t trim) {
        const auto at =
            std::find_if(points.begin(), points.end(), [trim](const TrimPoint &p) { return p.trim == trim; });
        return at != points.end() ? std::optional<TrimPoint>(*at) : std::nullopt;
    };

    // The V's centre, searched between the outermost points. A V needs a
    // side on each hand; a centre on the window's edge says the V goes on
    // beyond it; and the trim it gives must not read clearly worse than the
    // lowest.
    if (points.size() >= kMinFitPoints) {
        if (const std::optional<Centre> fit = fit_centre(points)) {
            const auto trim = static_cast<std::uint32_t>(std::lround(fit->centre));
            const std::optional<TrimPoint> there = reading_at(trim);
            if (fit->line.b > kMinSlope && fit->centre > points.front().trim && fit->centre < points.back().trim &&
                rises(fit->centre, true) && rises(fit->centre, false) && there && !clearly_worse(*there, *low)) {
                const double centre = std::round(fit->centre / kCentreResolution) * kCentreResolution;
                return TrimBest{trim, "fit", centre, fit->low, fit->high, fit->line.a, fit->line.b};
            }
        }
    }
    // No V: the middle of the run of trims that share the lowest rate; but
    // only when some trim measured is clearly worse than it: a minimum.
    const bool minimum = std::any_of(all.begin(), all.end(), [&](const TrimPoint &p) {
        return !p.rejected && (p.stopped_early || clearly_worse(p, *low));
    });
    const double lowest_rate = rate(*low);
    std::vector<std::uint32_t> run;
    for (const TrimPoint &p : points) {
        if (rate(p) == lowest_rate) {
            run.push_back(p.trim);
        }
    }
    TrimBest best;
    best.trim = run[(run.size() - 1) / 2];
    best.method = minimum ? "lowest" : "none";
    return best;
}

namespace {

std::string trim_words(double trim) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", trim);
    return text;
}

}  // namespace

TrimSearch search_trim(std::uint32_t from, std::uint32_t to, std::uint64_t frames, const MeasureTrim &measure) {
    TrimSearch s;
    const std::uint32_t step = coarse_step(from, to);
    const std::uint32_t reach = std::max(step, kMinFineReach);
    // The points of a pass that could be the best so far (the lowest is).
    const auto candidates = [&](bool fine) {
        return static_cast<std::uint64_t>(std::count_if(
            s.points.begin(), s.points.end(), [&](const TrimPoint &p) { return usable(p) && p.fine == fine; }));
    };
    // Measures a trim, again when the reading came late; false when cut
    // short. Against a best, a point may stop early while the tests last.
    const auto take = [&](std::uint32_t trim, std::uint64_t n, const std::optional<TrimPoint> &best, bool fine) {
        for (int attempt = 0; attempt <= kRereads; ++attempt) {
            EarlyStop stop;
            if (best) {
                const std::uint64_t tests = candidates(fine) * look_schedule(n).size();
                if (s.stop_tests + tests <= kStopTests) {
                    s.stop_tests += tests;
                    stop = EarlyStop(*best, n, kStopErrorRate / static_cast<double>(kStopTests));
                }
            }
            std::optional<TrimPoint> p = measure(trim, n, stop, fine);
            if (!p) {
                s.cut_short = true;
                s.failure = "the search was cut short";
                return false;
            }
            p->frames_asked = n;
            p->rejected = p->frames > n * kOverlongFactor;
            s.points.push_back(*p);
            if (!p->rejected) {
                break;
            }
        }
        return true;
    };
    // The lowest usable point of a pass, or of both.
    const auto lowest_of = [&](bool fine) {
        std::vector<TrimPoint> points;
        std::copy_if(s.points.begin(), s.points.end(), std::back_inserter(points),
                     [&](const TrimPoint &p) { return usable(p) && p.fine == fine; });
        return lowest(points);
    };

    for (std::uint32_t trim : coarse_order(coarse_trims(from, to, step))) {
        if (!take(trim, kCoarseFrames, lowest_of(false), false)) {
            return s;
        }
    }
    const std::optional<TrimPoint> coarse_best = lowest_of(false);
    if (!coarse_best) {
        s.failure = "no frame was received at any trim: is the bench signal source on?";
        return s;
    }
    const std::string no_minimum = "no trim's error rate stands out from the others: the best lies outside the "
                                   "range searched, or the receiver has no usable signal";
    if (std::none_of(s.points.begin(), s.points.end(), [&](const TrimPoint &p) {
            return !p.rejected && (p.stopped_early || clearly_worse(p, *coarse_best));
        })) {
        s.failure = no_minimum;
        return s;
    }
    // The fine window holds the coarse best, and grows until the V rises on
    // both sides of the best within it.
    std::uint32_t centre = coarse_best->trim;
    std::uint32_t lo = centre - std::min(centre - from, reach);
    std::uint32_t hi = centre + std::min(to - centre, reach);
    int refinements = 0;
    std::set<std::uint32_t> read_again;  // trims read again for reading off the V
    for (;;) {
        s.window_from = lo;
        s.window_to = hi;
        std::vector<std::uint32_t> todo;
        for (std::uint32_t t = lo; t <= hi; ++t) {
            if (std::none_of(s.points.begin(), s.points.end(),
                             [t](const TrimPoint &p) { return p.fine && p.trim == t; })) {
                todo.push_back(t);
            }
        }
        while (!todo.empty()) {
            // The trim nearest the best so far (at first the window's
            // centre) is next: the search follows the V down to its floor,
            // so the trims left behind on a side are judged against a low
            // best and stop early. On a tie the one nearer the centre, then
            // the lower.
            const std::optional<TrimPoint> so_far = lowest_of(true);
            const double aim = so_far ? so_far->trim : centre;
            const auto next = std::min_element(todo.begin(), todo.end(), [&](std::uint32_t a, std::uint32_t b) {
                const auto key = [&](std::uint32_t t) {
                    return std::make_pair(std::abs(static_cast<double>(t) - aim),
                                          std::abs(static_cast<double>(t) - centre));
                };
                return key(a) < key(b);
            });
            const std::uint32_t trim = *next;
            todo.erase(next);
            // The trims next to the best so far are measured to their end:
            // the V's sides there place its centre.
            const bool beside = so_far && std::abs(static_cast<double>(trim) - so_far->trim) <= kSideReach;
            if (!take(trim, frames, beside ? std::nullopt : so_far, true)) {
                return s;
            }
        }
        s.best = best_trim(s.points);
        std::vector<TrimPoint> fine_points;
        std::copy_if(s.points.begin(), s.points.end(), std::back_inserter(fine_points),
                     [](const TrimPoint &p) { return p.fine; });
        const std::vector<TrimPoint> fine_pool = pooled(fine_points);
        const std::optional<TrimPoint> low = lowest(fine_pool);
        if (!s.best || !low) {
            s.failure = "no frame was received at any trim: is the bench signal source on?";
            return s;
        }
        const TrimBest &best = *s.best;
        centre = best.trim;
        const auto rises = [&](bool left) {
            return std::any_of(s.points.begin(), s.points.end(), [&](const TrimPoint &p) {
                return p.fine && !p.rejected && (left ? p.trim < best.trim : p.trim > best.trim) &&
                       (p.stopped_early || clearly_worse(p, *low));
            });
        };
        // Where the window must grow to: past a side that does not rise, a
        // best on its edge, a centre that may lie beyond it, and any point
        // measured outside it that reads clearly better than the best.
        const bool none = best.method == "none";
        const bool grow_lo = none || best.trim <= lo || !rises(true) || (best.centre_low && *best.centre_low < lo);
        const bool grow_hi = none || best.trim >= hi || !rises(false) || (best.centre_high && *best.centre_high > hi);
        if (!none && ((grow_lo && lo == from) || (grow_hi && hi == to))) {
            s.failure = "the best trim " + std::to_string(best.trim) +
                        " is on the edge of the range searched, or the error rate does not rise beyond it within "
                        "the range: the best may lie beyond it (widen --from/--to)";
            return s;
        }
        std::uint32_t want_lo = grow_lo ? lo - std::min(lo - from, reach) : lo;
        std::uint32_t want_hi = grow_hi ? hi + std::min(to - hi, reach) : hi;
        const auto at = std::find_if(fine_pool.begin(), fine_pool.end(),
                                     [&best](const TrimPoint &p) { return p.trim == best.trim; });
        const std::optional<TrimPoint> at_best = at != fine_pool.end() ? std::optional<TrimPoint>(*at) : std::nullopt;
        if (!at_best) {
            s.failure = "the best trim " + std::to_string(best.trim) + " has no reading of its own";
            return s;
        }
        std::optional<TrimPoint> better_inside;
        for (const TrimPoint &p : s.points) {
            if (!usable(p) || !clearly_worse(*at_best, p)) {
                continue;
            }
            if (p.trim < lo || p.trim > hi) {
                want_lo = std::min(want_lo, p.trim);
                want_hi = std::max(want_hi, p.trim);
            } else {
                better_inside = p;
            }
        }
        if (want_lo < lo || want_hi > hi) {
            lo = want_lo;
            hi = want_hi;
            continue;
        }
        if (none) {
            s.failure = no_minimum;
            return s;
        }
        if (better_inside) {
            s.failure = "the readings disagree: trim " + std::to_string(better_inside->trim) + " read " +
                        trim_words(rate(*better_inside) * 100) + " % (" + std::to_string(better_inside->errors) +
                        " of " + std::to_string(better_inside->frames) + " frames), clearly below the best trim " +
                        std::to_string(best.trim) + " at " + trim_words(rate(*at_best) * 100) +
                        " %: the link or the signal changed during the search";
            return s;
        }
        // A reading at odds with the V fitted to the others is measured
        // again once, and the new reading stands in for it.
        if (best.centre) {
            bool again = false;
            for (std::uint32_t trim : off_the_v(fine_pool, best)) {
                if (!read_again.insert(trim).second) {
                    s.failure = "trim " + std::to_string(trim) +
                                " reads off the V of the others twice: the signal is unsteady";
                    return s;
                }
                for (TrimPoint &p : s.points) {
                    p.rejected = p.rejected || (p.fine && p.trim == trim);
                }
                if (!take(trim, frames, std::nullopt, true)) {
                    return s;
                }
                again = true;
            }
            if (again) {
                continue;
            }
        }
        // The best must be known to within a step: a fitted centre by the
        // counts' likelihood; the lowest trim when every trim two or more
        // steps from it reads clearly worse. Otherwise the trims around it
        // are measured again, to their end.
        double first = best.trim;
        double last = best.trim;
        bool known = true;
        if (best.centre_low) {
            known = *best.centre_low > best.trim - 1.5 && *best.centre_high < best.trim + 1.5;
            first = *best.centre_low;
            last = *best.centre_high;
        } else {
            for (const TrimPoint &p : fine_pool) {
                if (std::abs(static_cast<double>(p.trim) - best.trim) >= 2 && !clearly_worse(p, *at_best)) {
                    known = false;
                    first = std::min<double>(first, p.trim);
                    last = std::max<double>(last, p.trim);
                }
            }
        }
        if (known) {
            return s;
        }
        if (refinements++ == kRefinements) {
            s.failure = "the counts leave the best trim anywhere from " + trim_words(first) + " to " +
                        trim_words(last) + ": not known to within a step (measure more --frames)";
            return s;
        }
        for (const TrimPoint &p : fine_pool) {
            const double trim = p.trim;
            const bool near = trim + kRefineReach >= first && trim <= last + kRefineReach;
            if (near && !take(p.trim, frames, std::nullopt, true)) {
                return s;
            }
        }
    }
}

}  // namespace deve::cli
