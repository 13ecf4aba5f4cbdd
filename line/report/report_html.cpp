// The report as one self-contained HTML page: styles inline, charts as
// inline SVG, no script and nothing fetched (the page's content security
// policy forbids every load), so it opens the same from a mail, a share or
// a machine with no network.
#include "common/axis.h"
#include "common/text_format.h"
#include "report.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace deve::cli::report {

namespace {

std::string escape(const std::string &text) { return html_escape(text); }

// A coordinate in the SVG's user units.
std::string px(double value) { return fixed(value, 1); }

std::string percent(double share) { return fixed(share * 100, 1) + " %"; }

std::string number_or_dash(const std::optional<double> &value) { return value ? short_number(*value) : "&#8211;"; }

constexpr const char *kStyle = R"(
body { font-family: "DejaVu Sans", "Segoe UI", Arial, sans-serif; margin: 24px auto; max-width: 1100px;
       color: #1f2933; background: #fff; padding: 0 16px; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 17px; margin: 28px 0 8px; border-bottom: 1px solid #d0d7de; padding-bottom: 4px; }
p.window { color: #52606d; margin: 0 0 12px; }
.tiles { display: flex; gap: 12px; flex-wrap: wrap; }
.tile { border: 1px solid #d0d7de; border-radius: 6px; padding: 8px 14px; min-width: 90px; }
.tile b { display: block; font-size: 20px; }
.tile.pass b { color: #1a7f37; } .tile.fail b, .tile.error b { color: #cf222e; }
.tile.incomplete b, .tile.interrupted b { color: #9a6700; }
table { border-collapse: collapse; font-size: 13px; margin: 6px 0 12px; }
th, td { border-bottom: 1px solid #e5e9ee; padding: 3px 10px; text-align: left; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
.charts { display: flex; flex-wrap: wrap; gap: 18px; }
figure { margin: 0; border: 1px solid #d0d7de; border-radius: 6px; padding: 8px 10px; }
figcaption { font-size: 13px; font-weight: bold; margin-bottom: 4px; }
figure table { margin: 4px 0 0; }
svg text { font-family: inherit; font-size: 11px; fill: #3e4c59; }
.bar { fill: #4a90d9; } .bar.out { fill: #e5534b; }
.first { fill: #9cc3ec; } .final { fill: #1f6feb; }
.limit { stroke: #cf222e; stroke-width: 1.5; }
.mean { stroke: #1f2933; stroke-width: 1; stroke-dasharray: 4 3; }
.axis { stroke: #8896a4; stroke-width: 1; }
.legend { font-size: 12px; color: #52606d; }
td.verdict.fail, td.verdict.error { color: #cf222e; } td.verdict.incomplete, td.verdict.interrupted { color: #9a6700; }
h3 { font-size: 15px; margin: 18px 0 4px; }
a { color: #0969da; }
.legend i { display: inline-block; width: 10px; height: 10px; margin: 0 4px 0 12px; }
)";

constexpr double kHistWidth = 460;
constexpr double kHistHeight = 200;
constexpr double kLeft = 40;
constexpr double kRight = 14;
constexpr double kTop = 26;
constexpr double kBottom = 34;

std::string histogram_svg(const MeasurementStats &m, const Histogram &h) {
    const double plot_w = kHistWidth - kLeft - kRight;
    const double plot_h = kHistHeight - kTop - kBottom;
    const double span = h.to() - h.from;
    const auto sx = [&](double v) { return kLeft + (v - h.from) / span * plot_w; };
    const std::size_t most = std::max<std::size_t>(1, *std::max_element(h.counts.begin(), h.counts.end()));
    const auto sy = [&](double count) { return kTop + plot_h - count / static_cast<double>(most) * plot_h; };

    std::string label = limit_text(m.name, m.low, m.high) + (m.unit.empty() ? "" : " " + m.unit) + ", " +
                        std::to_string(m.figures.n) + " values";
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"histogram\" width=\"" + px(kHistWidth) +
                      "\" height=\"" + px(kHistHeight) + "\" viewBox=\"0 0 " + px(kHistWidth) + " " +
                      px(kHistHeight) + "\" role=\"img\" aria-label=\"" + escape("Histogram of " + label) + "\">\n";
    // Each bin's values within the limits, and above them in red those
    // outside.
    const auto bar = [&](double left, std::size_t below, std::size_t count, bool out) {
        const double x0 = sx(left);
        const double x1 = sx(left + h.width);
        const auto top = static_cast<double>(below + count);
        svg += "<rect class=\"bar" + std::string(out ? " out" : "") + "\" x=\"" + px(x0 + 0.5) + "\" y=\"" +
               px(sy(top)) + "\" width=\"" + px(std::max(1.0, x1 - x0 - 1)) + "\" height=\"" +
               px(sy(static_cast<double>(below)) - sy(top)) + "\"><title>" +
               escape(short_number(left) + " to " + short_number(left + h.width) + ": " + std::to_string(count) +
                      (out ? " outside the limits" : "")) +
               "</title></rect>\n";
    };
    for (std::size_t i = 0; i < h.counts.size(); ++i) {
        const double left = h.from + h.width * static_cast<double>(i);
        const std::size_t inside = h.counts[i] - h.outside[i];
        if (inside != 0) {
            bar(left, 0, inside, false);
        }
        if (h.outside[i] != 0) {
            bar(left, inside, h.outside[i], true);
        }
    }
    // Axes, the value ticks, and the tallest bar's count.
    svg += "<line class=\"axis\" x1=\"" + px(kLeft) + "\" y1=\"" + px(sy(0)) + "\" x2=\"" + px(kLeft + plot_w) +
           "\" y2=\"" + px(sy(0)) + "\"/>\n";
    svg += "<line class=\"axis\" x1=\"" + px(kLeft) + "\" y1=\"" + px(kTop) + "\" x2=\"" + px(kLeft) + "\" y2=\"" +
           px(sy(0)) + "\"/>\n";
    svg += "<text x=\"" + px(kLeft - 4) + "\" y=\"" + px(kTop + 4) + "\" text-anchor=\"end\">" +
           std::to_string(most) + "</text>\n";
    svg += "<text x=\"" + px(kLeft - 4) + "\" y=\"" + px(sy(0)) + "\" text-anchor=\"end\">0</text>\n";
    // Ticks by count, not by adding the step: a step below the values'
    // resolution (values near 1e17 a few units apart) would not advance.
    // About five ticks, a step of 1, 2 or 5 times a power of ten.
    const double step = nice_ceiling(span / 5);
    const double first = std::ceil(h.from / step);
    for (int k = 0; k <= 12; ++k) {
        const double t = (first + k) * step;
        if (t > h.to()) {
            break;
        }
        const double x = sx(t);
        svg += "<line class=\"axis\" x1=\"" + px(x) + "\" y1=\"" + px(sy(0)) + "\" x2=\"" + px(x) + "\" y2=\"" +
               px(sy(0) + 4) + "\"/><text x=\"" + px(x) + "\" y=\"" + px(sy(0) + 16) +
               "\" text-anchor=\"middle\">" + escape(short_number(std::fabs(t) < step / 1e6 ? 0.0 : t)) +
               "</text>\n";
    }
    // The limits and the mean.
    const auto marker = [&](double value, const char *cls, const std::string &text) {
        const double x = sx(value);
        svg += "<line class=\"" + std::string(cls) + "\" x1=\"" + px(x) + "\" y1=\"" + px(kTop - 6) + "\" x2=\"" +
               px(x) + "\" y2=\"" + px(sy(0)) + "\"/><text x=\"" + px(x) + "\" y=\"" + px(kTop - 10) +
               "\" text-anchor=\"middle\">" + escape(text) + "</text>\n";
    };
    if (m.low) {
        marker(*m.low, "limit", "LSL " + short_number(*m.low));
    }
    if (m.high) {
        marker(*m.high, "limit", "USL " + short_number(*m.high));
    }
    if (m.figures.mean) {
        marker(*m.figures.mean, "mean", "");
    }
    if (m.figures.n == 0) {
        svg += "<text x=\"" + px(kLeft + plot_w / 2) + "\" y=\"" + px(kTop + plot_h / 2) +
               "\" text-anchor=\"middle\">no values</text>\n";
    }
    return svg + "</svg>\n";
}

std::string figures_table(const MeasurementStats &m) {
    const Capability &f = m.figures;
    std::string row;
    for (const std::string &cell :
         {std::to_string(f.n), number_or_dash(f.mean), number_or_dash(f.stddev), number_or_dash(f.min),
          number_or_dash(f.max), f.cp ? fixed(*f.cp, 2) : "&#8211;", f.cpk ? fixed(*f.cpk, 2) : "&#8211;",
          std::to_string(m.failed)}) {
        row += "<td class=\"n\">" + cell + "</td>";
    }
    const std::string note =
        m.no_capability.empty() ? "" : "<p class=\"legend\">No Cp or Cpk: " + escape(m.no_capability) + ".</p>\n";
    return "<table><tr><th class=\"n\">n</th><th class=\"n\">mean</th><th class=\"n\">s</th><th class=\"n\">min</th>"
           "<th class=\"n\">max</th><th class=\"n\">Cp</th><th class=\"n\">Cpk</th><th class=\"n\">failed</th></tr>"
           "<tr>" +
           row + "</tr></table>\n" + note;
}

constexpr double kYieldWidth = 720;
constexpr double kYieldLabel = 170;
constexpr double kYieldRow = 44;

std::string yield_svg(const std::vector<Yield> &rows) {
    const double top = 20;
    const double height = top + kYieldRow * static_cast<double>(rows.size()) + 8;
    const double plot_w = kYieldWidth - kYieldLabel - 70;
    const auto sx = [&](double share) { return kYieldLabel + share * plot_w; };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"yield\" width=\"" + px(kYieldWidth) +
                      "\" height=\"" + px(height) + "\" viewBox=\"0 0 " + px(kYieldWidth) + " " + px(height) +
                      "\" role=\"img\" aria-label=\"First-pass and final yield by station\">\n";
    for (int tick = 0; tick <= 100; tick += 25) {
        const double x = sx(tick / 100.0);
        svg += "<line class=\"axis\" x1=\"" + px(x) + "\" y1=\"" + px(top - 4) + "\" x2=\"" + px(x) + "\" y2=\"" +
               px(height - 8) + "\" stroke-opacity=\"0.35\"/><text x=\"" + px(x) + "\" y=\"" + px(top - 8) +
               "\" text-anchor=\"middle\">" + std::to_string(tick) + " %</text>\n";
    }
    double y = top;
    for (const Yield &row : rows) {
        const std::string name =
            (row.group.empty() ? std::string(kNoName) : row.group) + (row.host.empty() ? "" : " on " + row.host);
        svg += "<text x=\"" + px(kYieldLabel - 8) + "\" y=\"" + px(y + 17) + "\" text-anchor=\"end\">" +
               escape(name) + "</text><text x=\"" + px(kYieldLabel - 8) + "\" y=\"" + px(y + 31) +
               "\" text-anchor=\"end\">" + counted(row.boards, "board", "boards") + "</text>\n";
        const auto bar = [&](double offset, const char *cls, double share, const char *what) {
            svg += "<rect class=\"" + std::string(cls) + "\" x=\"" + px(sx(0)) + "\" y=\"" + px(y + offset) +
                   "\" width=\"" + px(std::max(1.0, sx(share) - sx(0))) + "\" height=\"16\"><title>" +
                   escape(name + ", " + what + " yield " + percent(share)) + "</title></rect><text x=\"" +
                   px(sx(share) + 6) + "\" y=\"" + px(y + offset + 12) + "\">" + percent(share) + "</text>\n";
        };
        bar(4, "first", row.first_pass_yield(), "first-pass");
        bar(22, "final", row.final_yield(), "final");
        y += kYieldRow;
    }
    return svg + "</svg>\n";
}

std::string name_or_none(const std::string &name) { return name.empty() ? kNoName : name; }

// By station, with the PC of each: two PCs may carry one station name.
std::string yield_table(const char *title, const std::vector<Yield> &rows, bool hosts = false) {
    std::string html = "<table><tr><th>" + std::string(title) + "</th>" + (hosts ? "<th>host</th>" : "") +
                       "<th class=\"n\">runs</th><th class=\"n\">boards</th><th class=\"n\">first-pass</th>"
                       "<th class=\"n\">final</th></tr>\n";
    for (const Yield &y : rows) {
        html += "<tr><td>" + escape(name_or_none(y.group)) + "</td>" +
                (hosts ? "<td>" + escape(name_or_none(y.host)) + "</td>" : "") + "<td class=\"n\">" +
                std::to_string(y.runs) + "</td><td class=\"n\">" + std::to_string(y.boards) +
                "</td><td class=\"n\">" + percent(y.first_pass_yield()) + "</td><td class=\"n\">" +
                percent(y.final_yield()) + "</td></tr>\n";
    }
    return html + "</table>\n";
}

// The failing runs, newest first, each board linked to its runs further
// down the page (an anchor: the page stays one file that loads nothing).
std::string failing_html(const FailingRuns &failing) {
    std::string html = "<h2 id=\"failing\">Failing and incomplete runs</h2>\n";
    if (failing.total == 0) {
        return html + "<p>None.</p>\n";
    }
    std::map<std::string, std::size_t> anchor;
    for (const FailingRuns::BoardRuns &b : failing.boards) {
        anchor.emplace(b.board, anchor.size() + 1);
    }
    html += "<p class=\"legend\">" +
            (failing.runs.size() < failing.total
                 ? "The latest " + std::to_string(failing.runs.size()) + " of " +
                       counted(failing.total, "run", "runs") + " that did not pass (deve-cli report --failing N lists more)"
                 : counted(failing.total, "run", "runs") + " that did not pass") +
            "; a board's serial leads to its every run.</p>\n";
    html += "<table class=\"failing\"><tr><th>started (UTC)</th><th>serial</th><th>station</th><th>host</th>"
            "<th>verdict</th><th>step</th><th>failed on</th></tr>\n";
    for (const FailingRun &f : failing.runs) {
        const auto at = anchor.find(f.run.board);
        const std::string board = f.run.board.empty() ? "run " + f.run.run_id : f.run.board;
        html += "<tr><td>" + escape(utc_minute(f.run.started_ms)) + "</td><td>" +
                (at != anchor.end() ? "<a href=\"#board-" + std::to_string(at->second) + "\">" + escape(board) + "</a>"
                                    : escape(board)) +
                "</td><td>" + escape(name_or_none(f.run.station)) + "</td><td>" + escape(name_or_none(f.run.host)) +
                "</td><td class=\"verdict " + escape(f.run.verdict) + "\">" + escape(f.run.verdict) + "</td><td>" +
                (f.step.empty() ? std::string("&#8211;") : escape(f.step)) + "</td><td>" + escape(failure_text(f)) + "</td></tr>\n";
    }
    html += "</table>\n";
    if (failing.boards.empty()) {
        return html;
    }
    html += "<h2>The boards of these runs</h2>\n";
    for (const FailingRuns::BoardRuns &b : failing.boards) {
        html += "<section class=\"board\" id=\"board-" + std::to_string(anchor.at(b.board)) + "\">\n<h3>Board " +
                escape(b.board) + "</h3>\n<p class=\"legend\">" +
                (b.runs.size() < b.total ? "the latest " + std::to_string(b.runs.size()) + " of " +
                                               counted(b.total, "run", "runs") + "; every run, step and measurement"
                                         : counted(b.total, "run", "runs") + "; every step and measurement") +
                ": <code>deve-cli report board " + escape(b.board) +
                "</code></p>\n<table><tr><th>started (UTC)</th><th>station</th><th>host</th><th>lot</th>"
                "<th>verdict</th><th>run</th></tr>\n";
        for (const Run &run : b.runs) {
            html += "<tr><td>" + escape(utc_minute(run.started_ms)) + "</td><td>" + escape(name_or_none(run.station)) +
                    "</td><td>" + escape(name_or_none(run.host)) + "</td><td>" + escape(name_or_none(run.lot)) +
                    "</td><td class=\"verdict " + escape(run.verdict) + "\">" + escape(run.verdict) + "</td><td>" +
                    escape(run.run_id) + "</td></tr>\n";
        }
        html += "</table>\n<p class=\"legend\"><a href=\"#failing\">back to the failing runs</a></p>\n</section>\n";
    }
    return html;
}

}  // namespace

std::string report_html(const Report &r) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>Test report " +
        escape(utc_day(r.generated_ms)) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
    html += "<h1>Test report</h1>\n<p class=\"window\">Runs that started " + escape(window_text(r.window)) + ". Made " +
            escape(utc_minute(r.generated_ms)) + " UTC by deve-cli " + escape(DEVE_VERSION) + ". Days are those of " +
            escape(r.zone) + ".</p>\n";

    html += "<h2>Runs</h2>\n<div class=\"tiles\">\n<div class=\"tile\"><b>" + std::to_string(r.run_count) +
            "</b>runs</div>\n";
    for (const auto &[verdict, count] : r.verdicts) {
        html += "<div class=\"tile " + escape(verdict) + "\"><b>" + std::to_string(count) + "</b>" + escape(verdict) +
                "</div>\n";
    }
    html += "<div class=\"tile\"><b>" + std::to_string(r.overall.boards) + "</b>" +
            (r.overall.boards == 1 ? "board" : "boards") + "</div>\n</div>\n";

    html += "<h2>Yield by station</h2>\n<p class=\"legend\"><i class=\"first\" style=\"background:#9cc3ec\"></i>"
            "first-pass: boards whose first run passed<i style=\"background:#1f6feb\"></i>final: boards whose last "
            "run passed</p>\n";
    html += r.by_station.empty() ? "<p>No runs.</p>\n" : yield_svg(r.by_station);
    html += yield_table("all", {r.overall}) + yield_table("station", r.by_station, true) + yield_table("lot", r.by_lot) +
            yield_table(("day (" + escape(r.zone) + ")").c_str(), r.by_day);

    html += failing_html(r.failing);

    html += "<h2>Measurements against their limits</h2>\n";
    if (r.measurements.empty()) {
        html += "<p>No measurement with limits.</p>\n";
    } else {
        html += "<p class=\"legend\">Red lines: the limits (LSL, USL); dashed: the mean; red bars: values outside "
                "the limits.</p>\n<div class=\"charts\">\n";
        for (std::size_t i = 0; i < r.measurements.size(); ++i) {
            const MeasurementStats &m = r.measurements[i];
            const Histogram h = i < r.histograms.size() ? r.histograms[i] : histogram(m.values, m.low, m.high);
            html += "<figure>\n<figcaption>" + escape(step_label(m.command, m.point)) +
                    ": " + escape(limit_text(m.name, m.low, m.high)) + escape(m.unit.empty() ? "" : " " + m.unit) +
                    escape(m.limit_set.empty() ? "" : " [" + m.limit_set + "]") + "</figcaption>\n" +
                    histogram_svg(m, h) + figures_table(m) + "</figure>\n";
        }
        html += "</div>\n";
    }

    html += "<h2>Failures by step and limit</h2>\n";
    if (r.pareto.empty()) {
        html += "<p>No failures.</p>\n";
    } else {
        html += "<table><tr><th class=\"n\">count</th><th class=\"n\">share</th><th class=\"n\">cumulative</th>"
                "<th class=\"n\">runs</th><th>step</th><th>limit</th></tr>\n";
        for (const ParetoItem &p : r.pareto) {
            html += "<tr><td class=\"n\">" + std::to_string(p.count) + "</td><td class=\"n\">" + percent(p.share) +
                    "</td><td class=\"n\">" + percent(p.cumulative) + "</td><td class=\"n\">" +
                    std::to_string(p.runs) + "</td><td>" + escape(p.step) + "</td><td>" + escape(p.limit) +
                    "</td></tr>\n";
        }
        html += "</table>\n";
    }
    return html + "</body>\n</html>\n";
}

std::string html_escape(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace deve::cli::report
