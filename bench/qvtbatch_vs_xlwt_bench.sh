#!/usr/bin/env bash
# qvtbatch to Excel 2000 against an xlwt exporter reading the same SELECT with a
# streaming PyMySQL cursor, on one table of 65,535 rows and 10 mixed columns:
# both wall times, their ratio and both peak memories against the targets (at
# least 5 times faster, under 64 MB). Then a database of 50 tables of 5,000 rows
# converted in one run: the seconds per table for the first ten and the last
# ten, so that a cost growing with the earlier sheets would show.
#   bench/qvtbatch_vs_xlwt_bench.sh [BUILD_DIR] [ROWS] [TABLES] [TABLE_ROWS]
# Both programs run RUNS times (default 2), alternately; the best time counts.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rows=${2:-65535}
tables=${3:-50}
table_rows=${4:-5000}
runs=${RUNS:-2}
qvtbatch=$build/qvtbatch
reference=$root/bench/xlwt_reference_exporter.py
[ -x "$qvtbatch" ] || { echo "missing $qvtbatch: build the tree first" >&2; exit 1; }
/usr/bin/python3 -c 'import pymysql, xlwt, xlrd' ||
  { echo "missing python3-pymysql, python3-xlwt or python3-xlrd (scripts/install-deps)" >&2; exit 1; }

source "$root/bench/bench_lib.sh"
fill_bench_rows "$rows"

for run in $(seq 1 "$runs"); do
  rm -f "$out"/*.xls
  /usr/bin/time -v -o "$state/q.time" "$qvtbatch" "${connection[@]}" --src=qvt_bench --xls_ver=1 \
      --dest="$out/qvtbatch.xls" >"$state/q.out" || { cat "$state/q.out" "$state/q.time" >&2; exit 1; }
  ! grep -q '^Error:' "$state/q.out" || { cat "$state/q.out" >&2; exit 1; }
  /usr/bin/time -v -o "$state/r.time" /usr/bin/python3 "$reference" "$host" "$port" "$user" "$password" \
      qvt_bench 'SELECT * FROM `bench_rows`' bench_rows "$out/reference.xls" >"$state/r.out" 2>&1 \
    || { cat "$state/r.out" "$state/r.time" >&2; exit 1; }
  note_run
  printf 'run %d: qvtbatch %6.2f s %6s MB (%s bytes)   xlwt %6.2f s %6s MB (%s bytes)\n' "$run" \
    "$q" "$(mb "$kq")" "$(stat -c %s "$out/qvtbatch.xls")" "$r" "$(mb "$kr")" "$(stat -c %s "$out/reference.xls")"
done

# Both hold the same rows: every row count, and the numbers and texts of the
# first 1,000 rows (xlrd; dates compared as serials).
/usr/bin/python3 - "$out/qvtbatch.xls" "$out/reference.xls" <<'PY'
import sys, xlrd
def sheet(path):
    return xlrd.open_workbook(path, on_demand=True).sheet_by_index(0)
a, b = sheet(sys.argv[1]), sheet(sys.argv[2])
if a.nrows != b.nrows:
    sys.exit("row counts differ: %d / %d" % (a.nrows, b.nrows))
for r in range(min(a.nrows, 1001)):
    x = [c.value for c in a.row(r)]
    y = [c.value for c in b.row(r)]
    x += [""] * (len(y) - len(x)); y += [""] * (len(x) - len(y))
    if x != y:
        sys.exit("the workbooks differ at row %d: %r / %r" % (r + 1, x, y))
print("both workbooks hold %d rows; the first %d are equal" % (a.nrows, min(a.nrows, 1001)))
PY

echo
awk -v q="$best_q" -v r="$best_r" -v pq="$peak_q" -v pr="$peak_r" -v rows="$rows" 'BEGIN {
  printf "rows                       %d x 10 columns, Excel 2000\n", rows
  printf "wall time (best)           qvtbatch %.2f s, xlwt %.2f s\n", q, r
  printf "speed-up xlwt/qvtbatch     %.1f  (target >= 5: %s)\n", r / q, r >= 5 * q ? "met" : "MISSED"
  printf "peak memory                qvtbatch %.1f MB, xlwt %.1f MB  (target < 64 MB: %s)\n",
         pq / 1024, pr / 1024, pq / 1024 < 64 ? "met" : "MISSED"
}'

echo
echo "Filling qvt_many with $tables tables of $table_rows rows ..."
{
  echo "SET NAMES utf8mb4; CREATE DATABASE qvt_many CHARACTER SET utf8mb4; USE qvt_many;"
  for t in $(seq 1 "$tables"); do
    printf 'CREATE TABLE t%03d ENGINE=InnoDB SELECT * FROM qvt_bench.bench_rows WHERE id <= %d;\n' "$t" "$table_rows"
  done
} | sql
# Each "Converting table" line is stamped as it arrives; a table's time runs to
# the next line (the last one to the end of the run).
/usr/bin/time -v -o "$state/m.time" "$qvtbatch" "${connection[@]}" --src=qvt_many --xls_ver=1 \
    --dest="$out/many.xls" | while IFS= read -r line; do printf '%s %s\n' "$(date +%s.%N)" "$line"; done \
    >"$state/m.out"
end=$(date +%s.%N)
! grep -q ' Error:' "$state/m.out" || { cat "$state/m.out" >&2; exit 1; }
grep ' Converting table ' "$state/m.out" | awk -v end="$end" -v rows="$table_rows" '
  { t[NR] = $1 }
  END {
    t[NR + 1] = end
    for (i = 1; i <= NR; ++i) d[i] = t[i + 1] - t[i]
    first = 0; last = 0
    for (i = 1; i <= 10 && i <= NR; ++i) first += d[i]
    for (i = NR - 9; i <= NR; ++i) if (i >= 1) last += d[i]
    printf "tables                     %d x %d rows, %.2f s in all\n", NR, rows, t[NR + 1] - t[1]
    printf "seconds per table          first ten %.3f, last ten %.3f (last/first %.2f)\n",
           first / 10, last / 10, last / first
  }'
printf 'peak memory                qvtbatch %s MB, workbook %s bytes\n' "$(mb "$(peak_kb "$state/m.time")")" \
  "$(stat -c %s "$out/many.xls")"
