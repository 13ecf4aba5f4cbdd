// The live page: a fixed page and a script served by deve-cli report serve.
// The script reads live.json from the same server (with the page's own
// query) and draws it with DOM calls (text is set as text, never parsed as
// markup); the yield chart is inline SVG. Its content security policy
// allows the server's own script and JSON and inline styles, nothing else.
#include "live.h"

namespace deve::cli::report {

namespace {

std::string escape(const std::string &text) { return html_escape(text); }

constexpr const char *kStyle = R"(
body { font-family: "DejaVu Sans", "Segoe UI", Arial, sans-serif; margin: 20px auto; max-width: 1200px;
       color: #1f2933; background: #fff; padding: 0 16px; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 17px; margin: 24px 0 8px; border-bottom: 1px solid #d0d7de; padding-bottom: 4px; }
p.window { color: #52606d; margin: 0 0 8px; }
#store { padding: 8px 12px; border-radius: 6px; margin: 8px 0; font-weight: bold; }
#store.ok { display: none; }
#store.down { background: #ffebe9; color: #a40e26; border: 1px solid #cf222e; }
.tiles { display: flex; gap: 12px; flex-wrap: wrap; }
.tile { border: 1px solid #d0d7de; border-left: 6px solid #8896a4; border-radius: 6px; padding: 8px 12px;
        min-width: 200px; font-size: 13px; }
.tile b { display: block; font-size: 16px; }
.tile .state { font-weight: bold; text-transform: uppercase; font-size: 12px; }
.tile.testing { border-left-color: #1f6feb; } .tile.testing .state { color: #1f6feb; }
.tile.incomplete { border-left-color: #9a6700; background: #fff8c5; } .tile.incomplete .state { color: #9a6700; }
.tile.idle .state { color: #52606d; }
.verdict-pass { color: #1a7f37; } .verdict-fail, .verdict-error { color: #cf222e; }
.verdict-interrupted, .verdict-incomplete { color: #9a6700; }
table { border-collapse: collapse; font-size: 13px; margin: 6px 0 12px; }
th, td { border-bottom: 1px solid #e5e9ee; padding: 3px 10px; text-align: left; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
svg text { font-family: inherit; font-size: 11px; fill: #3e4c59; }
.first { fill: #9cc3ec; } .final { fill: #1f6feb; }
.axis { stroke: #8896a4; stroke-width: 1; }
.legend { font-size: 12px; color: #52606d; }
.legend i { display: inline-block; width: 10px; height: 10px; margin: 0 4px 0 12px; }
.legend i.first { background: #9cc3ec; } .legend i.final { background: #1f6feb; }
)";

// The script: reads live.json every REFRESH seconds and redraws the page.
constexpr const char *kScript = R"JS('use strict';
(function () {
  var refresh = Number(document.body.getAttribute('data-refresh')) * 1000;
  var SVG = 'http://www.w3.org/2000/svg';

  function el(name, attrs, text) {
    var e = document.createElement(name);
    if (attrs) Object.keys(attrs).forEach(function (k) { e.setAttribute(k, attrs[k]); });
    if (text !== undefined && text !== null) e.textContent = String(text);
    return e;
  }
  function svg(name, attrs, text) {
    var e = document.createElementNS(SVG, name);
    Object.keys(attrs).forEach(function (k) { e.setAttribute(k, String(attrs[k])); });
    if (text !== undefined) e.textContent = text;
    return e;
  }
  // "2026-12-09T08:40:12.345Z" as "2026-12-09 08:40:12 UTC".
  function when(t) { return t ? t.replace('T', ' ').replace(/\.\d+Z$/, '').replace(/Z$/, '') + ' UTC' : ''; }
  function percent(x) { return x === null ? '\u2013' : (x * 100).toFixed(1) + ' %'; }
  function replace(id, node) {
    var old = document.getElementById(id);
    node.id = id;
    old.parentNode.replaceChild(node, old);
  }
  function table(headers, rows) {
    var t = el('table');
    var head = el('tr');
    headers.forEach(function (h) { head.appendChild(el('th', h.n ? {class: 'n'} : null, h.t)); });
    t.appendChild(head);
    rows.forEach(function (cells) {
      var tr = el('tr');
      cells.forEach(function (c, i) {
        var td = el('td', headers[i].n ? {class: 'n'} : (c && c.cls ? {class: c.cls} : null),
                    c && typeof c === 'object' ? c.t : c);
        tr.appendChild(td);
      });
      t.appendChild(tr);
    });
    return t;
  }

  function tiles(list) {
    var box = el('div', {class: 'tiles'});
    if (list.length === 0) box.appendChild(el('p', null, 'No runs in the window.'));
    list.forEach(function (t) {
      var tile = el('div', {class: 'tile ' + t.state});
      tile.appendChild(el('b', null, t.station === '' ? '(none)' : t.station));
      if (t.host !== '') tile.appendChild(el('div', null, 'on ' + t.host));
      var state = t.state === 'incomplete' ? 'incomplete since ' + when(t.last_activity_at) : t.state;
      tile.appendChild(el('div', {class: 'state'}, state));
      var last = el('div', null, t.state === 'testing' ? 'under way: ' : 'last run: ');
      if (t.state !== 'testing') last.appendChild(el('span', {class: 'verdict-' + t.verdict}, t.verdict + ' '));
      last.appendChild(document.createTextNode(t.board === '' ? 'no board' : t.board));
      tile.appendChild(last);
      tile.appendChild(el('div', null, 'started ' + when(t.started_at)));
      if (t.state === 'testing' && t.last_command !== '') tile.appendChild(el('div', null, 'last step: ' + t.last_command));
      box.appendChild(tile);
    });
    return box;
  }

  function yieldChart(stations) {
    var row = 44, left = 150, width = 660, plot = width - left - 60;
    var height = 24 + row * stations.length;
    var s = svg('svg', {width: width, height: height, viewBox: '0 0 ' + width + ' ' + height,
                        role: 'img', 'aria-label': 'Yield by station'});
    s.appendChild(svg('line', {class: 'axis', x1: left, y1: 4, x2: left, y2: height - 18}));
    [0, 0.5, 1].forEach(function (f) {
      s.appendChild(svg('text', {x: left + f * plot, y: height - 4, 'text-anchor': 'middle'}, (f * 100) + ' %'));
    });
    stations.forEach(function (st, i) {
      var y = 8 + i * row;
      s.appendChild(svg('text', {x: left - 6, y: y + 20, 'text-anchor': 'end'}, st.station === '' ? '(none)' : st.station));
      [['first', st.first_pass_yield, 0, 'first-pass'], ['final', st.final_yield, 17, 'final']].forEach(function (b) {
        var share = b[1] === null ? 0 : b[1];
        var bar = svg('rect', {class: b[0], x: left, y: y + b[2], width: Math.max(1, share * plot).toFixed(1), height: 14});
        bar.appendChild(svg('title', {}, st.station + ', ' + b[3] + ' yield ' + percent(b[1])));
        s.appendChild(bar);
        s.appendChild(svg('text', {x: (left + share * plot + 6).toFixed(1), y: y + b[2] + 11}, percent(b[1])));
      });
    });
    return s;
  }

  function draw(data) {
    var banner = document.getElementById('store');
    if (data.store.reachable || !data.store.unreachable_since) {
      // Reachable, or the first read still under way.
      banner.className = 'ok';
      banner.textContent = '';
      banner.title = '';
    } else {
      banner.className = 'down';
      banner.title = data.store.problem || '';
      banner.textContent = 'store unreachable since ' + when(data.store.unreachable_since) +
        (data.figures ? '; the figures below are from ' + when(data.figures.read_at) : '');
    }
    document.getElementById('updated').textContent = when(data.generated_at);
    var f = data.figures;
    if (!f) return;
    document.getElementById('window').textContent = 'Runs that started ' + f.window.text +
      (data.view.stations.length ? '; stations ' + data.view.stations.join(', ') : '') + '.';
    replace('tiles', tiles(f.tiles));
    var chart = el('div');
    if (f.stations.length) chart.appendChild(yieldChart(f.stations)); else chart.appendChild(el('p', null, 'No runs.'));
    chart.appendChild(table(
      [{t: 'station'}, {t: 'runs', n: 1}, {t: 'boards', n: 1}, {t: 'first-pass', n: 1}, {t: 'final', n: 1},
       {t: 'pass', n: 1}, {t: 'fail', n: 1}, {t: 'error', n: 1}, {t: 'interrupted', n: 1}, {t: 'incomplete', n: 1}],
      f.stations.map(function (s) {
        return [s.station === '' ? '(none)' : s.station, s.runs, s.boards, percent(s.first_pass_yield),
                percent(s.final_yield), s.verdicts.pass, s.verdicts.fail, s.verdicts.error, s.verdicts.interrupted,
                s.verdicts.incomplete];
      })));
    replace('yield', chart);
    replace('failures', f.failures.length === 0 ? el('p', null, 'No failures.') : table(
      [{t: 'started'}, {t: 'station'}, {t: 'host'}, {t: 'board'}, {t: 'verdict'}, {t: 'step'}, {t: 'what'}],
      f.failures.map(function (x) {
        return [when(x.started_at), x.station, x.host, x.board, {t: x.verdict, cls: 'verdict-' + x.verdict},
                x.step, x.detail === '' ? x.outcome : x.detail];
      })));
    replace('pools', f.pools.length === 0 ? el('p', null, 'No MAC address pools.') : table(
      [{t: 'pool'}, {t: 'free', n: 1}, {t: 'size', n: 1}],
      f.pools.map(function (p) { return [p.pool, p.free, p.size]; })));
  }

  function update() {
    fetch('live.json' + window.location.search, {cache: 'no-store'})
      .then(function (r) {
        if (!r.ok) throw new Error('the server answered ' + r.status);
        return r.json();
      })
      .then(draw)
      .catch(function (e) {
        var banner = document.getElementById('store');
        banner.className = 'down';
        banner.textContent = 'the page\'s server does not answer (' + e.message + ')';
      })
      .then(function () { window.setTimeout(update, refresh); });
  }
  update();
})();
)JS";

// The page's own policy; the header adds what a <meta> cannot say (the
// browser ignores frame-ancestors there, and says so on its console).
constexpr const char *kPagePolicy =
    "default-src 'none'; script-src 'self'; connect-src 'self'; style-src 'unsafe-inline'; base-uri 'none'; "
    "form-action 'none'";

}  // namespace

const char *const kLivePolicy =
    "default-src 'none'; script-src 'self'; connect-src 'self'; style-src 'unsafe-inline'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'";

std::string live_page(const std::string &title, int refresh_seconds) {
    const std::string period = std::to_string(refresh_seconds);
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"" +
           escape(kPagePolicy) +
           "\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>" +
           escape(title) + "</title>\n<style>" + kStyle +
           "</style>\n<script src=\"live.js\" defer></script>\n</head>\n"
           "<body data-refresh=\"" +
           period + "\">\n<h1>" + escape(title) +
           "</h1>\n"
           "<p class=\"window\"><span id=\"window\">Waiting for the store.</span> "
           "Updated <span id=\"updated\">never</span>, every " +
           period +
           " s.</p>\n"
           "<div id=\"store\" class=\"ok\"></div>\n"
           "<h2>Stations</h2>\n<div id=\"tiles\"></div>\n"
           "<h2>Yield this shift</h2>\n"
           "<p class=\"legend\"><i class=\"first\"></i>first-pass: boards whose first run passed"
           "<i class=\"final\"></i>final: boards whose last run passed</p>\n<div id=\"yield\"></div>\n"
           "<h2>Last failures</h2>\n<div id=\"failures\"></div>\n"
           "<h2>MAC address pools</h2>\n<div id=\"pools\"></div>\n"
           "</body>\n</html>\n";
}

std::string live_script() { return kScript; }

}  // namespace deve::cli::report
