# Base runs of a made-up line, as SQL INSERTs (SQLite and PostgreSQL alike):
# five stations, boards that fail tested again 40 minutes later, a few runs
# whose station stopped part-way. One run every 32 s.
function normal(mean, sd) { return mean + sd * sqrt(-2 * log(1 - rand())) * cos(6.283185307 * rand()) }
function stamp(second) {
  return sprintf("2026-01-%02dT%02d:%02d:%02d.%03dZ", 1 + int(second / 86400), int(second % 86400 / 3600),
                 int(second % 3600 / 60), int(second % 60), int(rand() * 1000))
}
function q(s) { return s == "NULL" ? s : "'" s "'" }
function step(id, seq, command, band, channel, mode, rate, outcome, kind, at) {
  printf "INSERT INTO steps (run_id, seq, command, started_at, ended_at, band, channel, mode, rate, outcome, error_kind) VALUES ('%s', %d, '%s', '%s', '%s', %s, %s, %s, %s, '%s', %s);\n",
    id, seq, command, at, at, q(band), channel, q(mode), q(rate), outcome, q(kind)
}
function measure(id, seq, name, value, unit, low, high, set, passed) {
  printf "INSERT INTO measurements (run_id, step_seq, name, value, unit, low, high, limit_set, limit_source, passed) VALUES ('%s', %d, '%s', %.6g, '%s', %s, %s, %s, %s, %s);\n",
    id, seq, name, value, unit, low, high, q(set), set == "NULL" ? "NULL" : q("file"), passed
}
function radio(id, seq, band, channel, mode, rate, set, at,    frames, fps, per, errors, rframes, ok1, ok2) {
  step(id, seq, "tune", band, channel, mode, rate, "pass", "NULL", at)
  frames = 2000 + int(rand() * 40); fps = normal(band == "2G" ? 1185 : 1120, 45)
  ok1 = fps >= 1000
  step(id, seq + 1, "tx", band, channel, mode, rate, ok1 ? "pass" : "fail", ok1 ? "NULL" : "fail", at)
  measure(id, seq + 1, "frames", frames, "frame", 2000, "NULL", "tx", 1)
  measure(id, seq + 1, "frames_per_second", fps, "frame/s", 1000, "NULL", "tx", ok1)
  per = normal(5, 2.6); if (per < 0) per = 0; rframes = 1000; errors = int(per * 10); per = errors / 10
  ok2 = per <= 10
  step(id, seq + 2, "rx", band, channel, mode, rate, ok2 ? "pass" : "fail", ok2 ? "NULL" : "fail", at)
  measure(id, seq + 2, "errors", errors, "frame", "NULL", "NULL", "NULL", "NULL")
  measure(id, seq + 2, "frames", rframes, "frame", 1000, "NULL", set, 1)
  measure(id, seq + 2, "per", per, "%", "NULL", 10, set, ok2)
  return ok1 && ok2
}
function run(board, second, retest,    id, at, station, verdict, code, stop, ok) {
  id = sprintf("run-%05d", ++runs)
  at = stamp(second)
  station = "FT-" (1 + board % 5)
  stop = runs % 250 == 37
  step(id, 0, "open", "NULL", "NULL", "NULL", "NULL", "pass", "NULL", at)
  ok = 1
  if (!stop) {
    ok = radio(id, 1, "2G", 6, "11n-HT20", "HT20-MCS7", "rx HT20", at) && ok
    ok = radio(id, 4, "5G", 36, "11g-OFDM", "7-OFDM-54M", "rx 54M", at) && ok
  }
  verdict = stop ? "incomplete" : ok ? "pass" : "fail"
  code = stop ? "NULL" : ok ? 0 : 1
  printf "INSERT INTO runs (run_id, started_at, ended_at, station, operator, serial, lot, tool_version, host, verdict, exit_code) VALUES ('%s', '%s', %s, '%s', '%s', 'SN%06d', 'L%02d', 'bench', 'pc-%d', '%s', %s);\n",
    id, at, stop ? "NULL" : q(at), station, board % 2 ? "ann" : "ben", board, int(board / 200), board % 5, verdict, code
  printf "INSERT INTO boards (run_id, serial, chip_id, mac) VALUES ('%s', 'SN%06d', '0x74000000', '02:00:00:%02x:%02x:%02x');\n",
    id, board, int(board / 65536) % 256, int(board / 256) % 256, board % 256
  return verdict
}
BEGIN {
  srand(31)
  print "BEGIN;"
  for (board = 0; runs < n; board++) {
    if (run(board, runs * 32, 0) != "pass" && runs < n) run(board, runs * 32 + 2400, 1)
  }
  print "COMMIT;"
}
