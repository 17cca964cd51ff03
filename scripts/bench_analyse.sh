#!/usr/bin/env bash
# kymhost analyse on an hour's recording at 100 Hz (360,000 rows), measured beside plain reads of
# the same file in the same run, and what writing the lab files costs a frame. Prints rows for
# bench/README.md's table. Needs the bench build's kymhost, python3 and GNU time.
set -euo pipefail
cd "$(dirname "$0")/.."

kymhost=build/bench/bin/kymhost
work=build/bench/results/analyse
mkdir -p "$work"
hour="$work/hour.csv"
rows=360000
[ -f "$hour" ] || python3 - "$hour" "$rows" <<'PY'
import math, sys
path, rows = sys.argv[1], int(sys.argv[2])
with open(path, "w") as f:
    f.write("time_s,top_left_kg,bottom_left_kg,top_right_kg,bottom_right_kg,total_kg,cop_x_mm,cop_y_mm,marker\n")
    for i in range(rows):
        t = i / 100
        x, y = 12 * math.sin(2 * math.pi * 0.2 * t), 7.2 * math.sin(2 * math.pi * t / 8.5)
        q, r, fr = 17.5, 2 * x / 433, 2 * y / 238
        c = [q * (1 - r + fr), q * (1 - r - fr), q * (1 + r + fr), q * (1 + r - fr)]
        f.write("%.2f,%.3f,%.3f,%.3f,%.3f,%.3f,%.1f,%.1f,\n" % (t, *c, sum(c), x, y))
PY

# The best of three runs: seconds and peak memory (MB).
measure() {
  local best_s="" best_mb=""
  for _ in 1 2 3; do
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>&1
    read -r s kb <"$work/time.txt"
    if [ -z "$best_s" ] || awk "BEGIN{exit !($s < $best_s)}"; then best_s=$s; best_mb=$(awk "BEGIN{printf \"%.1f\", $kb/1024}"); fi
  done
  echo "$best_s $best_mb"
}

read -r wc_s wc_mb < <(measure wc -l "$hour")
read -r py_s py_mb < <(measure python3 -c "import csv,sys
for row in csv.reader(open(sys.argv[1], newline='')): pass" "$hour")
read -r an_s an_mb < <(measure "$kymhost" analyse "$hour")
read -r cv_s cv_mb < <(measure "$kymhost" analyse "$hour" --bdf "$work/hour.bdf" --edf "$work/hour.edf" --xdf "$work/hour.xdf")
per_frame_us=$(awk "BEGIN{printf \"%.2f\", ($cv_s - $an_s) / $rows * 1e6}")

row() { printf '| %-65s | %s |\n' "$1" "$2"; }
row "analyse, 1 h at 100 Hz (360,000 rows, $(( $(stat -c %s "$hour") / 1000000 )) MB), s" "$an_s"
row "analyse, 1 h, peak memory, MB" "$an_mb"
row "the same file read by wc -l, s (MB)" "$wc_s ($wc_mb)"
row "the same file read by Python's csv module, s (MB)" "$py_s ($py_mb)"
row "writing BDF+, EDF+ and XDF, µs a frame (frames come every 10,000 µs)" "$per_frame_us"
