#!/usr/bin/env bash
# qvtbatch against a libxlsxwriter exporter (constant-memory mode) on one table
# of 1,000,000 rows and 10 mixed columns read with the same SELECT, beside the
# read floor (the mariadb client reading the same rows, output dropped): prints
# the wall times, their ratios and the peak memories against the targets
# (qvtbatch at most 0.45 x the reference and 3.5 x the read floor, peak memory
# at most 64 MB). Then 100 tables x 1,000 rows in one run, qvtbatch against
# BEFORE (the path of a qvtbatch built from an earlier commit, one that packs
# after the rows; without it that part is left out): no slower than before.
#   bench/qvtbatch_vs_xlsxwriter_bench.sh [BUILD_DIR] [ROWS] [TABLES]
# Every program runs RUNS times (default 3), alternately; the best time counts.
# TASKSET="taskset -c 4-7" runs all of them on those cores.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rows=${2:-1000000}
tables=${3:-100}
runs=${RUNS:-3}
qvtbatch=$build/qvtbatch
reference=$build/bench/reference_exporter
before=${BEFORE:-}
pin=(${TASKSET:-})
for program in "$qvtbatch" "$reference"; do
  if [ ! -x "$program" ]; then
    echo "missing $program: build the tree first (reference_exporter needs libxlsxwriter-dev)" >&2
    exit 1
  fi
done

source "$root/bench/bench_lib.sh"
fill_bench_rows "$rows"

best_f=""
for run in $(seq 1 "$runs"); do
  rm -f "$out"/*.xlsx
  /usr/bin/time -v -o "$state/q.time" "${pin[@]}" "$qvtbatch" "${connection[@]}" --src=qvt_bench --xls_ver=2 \
      --dest="$out/qvtbatch.xlsx" >"$state/q.out" || { cat "$state/q.out" "$state/q.time" >&2; exit 1; }
  /usr/bin/time -v -o "$state/r.time" "${pin[@]}" "$reference" "$host" "$port" "$user" "$password" qvt_bench \
      'SELECT * FROM `bench_rows`' bench_rows "$out/reference.xlsx" >"$state/r.out" \
    || { cat "$state/r.out" "$state/r.time" >&2; exit 1; }
  /usr/bin/time -v -o "$state/f.time" "${pin[@]}" env MYSQL_PWD="$password" "$client" --no-defaults \
      --protocol=tcp --host="$host" --port="$port" --user="$user" --quick --batch --skip-column-names \
      -e 'SELECT * FROM `bench_rows`' qvt_bench >/dev/null
  note_run
  f=$(seconds "$state/f.time")
  keep_best best_f "$f"
  printf 'run %d: qvtbatch %6.2f s %7.1f MB (%s bytes)   reference %6.2f s %7.1f MB (%s bytes)   read floor %6.2f s\n' \
    "$run" "$q" "$(mb "$kq")" "$(stat -c %s "$out/qvtbatch.xlsx")" "$r" "$(mb "$kr")" \
    "$(stat -c %s "$out/reference.xlsx")" "$f"
done

# Both wrote the same cells: compare the first 1,000 rows of the two sheets.
/usr/bin/python3 - "$out/qvtbatch.xlsx" "$out/reference.xlsx" <<'PY'
import sys, openpyxl
def head(path):
    book = openpyxl.load_workbook(path, read_only=True)
    rows = [r for _, r in zip(range(1001), book.worksheets[0].iter_rows(values_only=True))]
    book.close()
    return rows
a, b = head(sys.argv[1]), head(sys.argv[2])
if a != b:
    bad = next(i for i, (x, y) in enumerate(zip(a, b)) if x != y) if len(a) == len(b) else min(len(a), len(b))
    sys.exit("the workbooks differ at row %d: %r / %r" % (bad + 1, a[bad] if bad < len(a) else None,
                                                          b[bad] if bad < len(b) else None))
print("first %d rows of both workbooks are equal" % len(a))
PY

echo
awk -v q="$best_q" -v r="$best_r" -v f="$best_f" -v pq="$peak_q" -v pr="$peak_r" -v rows="$rows" 'BEGIN {
  printf "rows                       %d x 10 columns\n", rows
  printf "wall time (best)           qvtbatch %.2f s, reference %.2f s, read floor %.2f s\n", q, r, f
  printf "qvtbatch / reference       %.2f  (target <= 0.45: %s)\n", q / r, q <= 0.45 * r ? "met" : "MISSED"
  printf "qvtbatch / read floor      %.2f  (target <= 3.5: %s)\n", q / f, q <= 3.5 * f ? "met" : "MISSED"
  printf "peak memory                qvtbatch %.1f MB, reference %.1f MB  (target <= 64 MB: %s)\n",
         pq / 1024, pr / 1024, pq / 1024 <= 64 ? "met" : "MISSED"
}'

[ -n "$before" ] || exit 0
[ -x "$before" ] || { echo "missing $before (BEFORE=): no comparison of $tables tables" >&2; exit 1; }
echo
echo "Filling qvt_many with $tables tables of 1,000 rows ..."
{
  echo "CREATE DATABASE qvt_many CHARACTER SET utf8mb4; USE qvt_many;"
  for t in $(seq 1 "$tables"); do
    printf 'CREATE TABLE t%04d ENGINE=InnoDB SELECT * FROM qvt_bench.bench_rows WHERE id <= 1000;\n' "$t"
  done
} | sql
many() {  # program timing: one run over the whole database, checked
  rm -f "$out/many.xlsx"
  /usr/bin/time -v -o "$2" "${pin[@]}" "$1" "${connection[@]}" --src=qvt_many --xls_ver=2 \
      --dest="$out/many.xlsx" >"$state/m.out" || { cat "$state/m.out" "$2" >&2; exit 1; }
  [ "$(grep -c '^Converting table ' "$state/m.out")" -eq "$tables" ] || { cat "$state/m.out" >&2; exit 1; }
}
best_a=""; best_b=""; peak_a=0; peak_b=0
for run in $(seq 1 "$runs"); do
  many "$before" "$state/b.time"
  many "$qvtbatch" "$state/a.time"
  a=$(seconds "$state/a.time"); b=$(seconds "$state/b.time")
  ka=$(peak_kb "$state/a.time"); kb=$(peak_kb "$state/b.time")
  keep_best best_a "$a"; keep_best best_b "$b"
  keep_peak peak_a "$ka"; keep_peak peak_b "$kb"
  printf 'run %d: %d tables x 1,000 rows: before %6.2f s %6.1f MB   now %6.2f s %6.1f MB\n' "$run" "$tables" \
    "$b" "$(mb "$kb")" "$a" "$(mb "$ka")"
done
awk -v a="$best_a" -v b="$best_b" -v pa="$peak_a" -v pb="$peak_b" -v n="$tables" 'BEGIN {
  printf "%d tables (best)            before %.2f s, now %.2f s: %.2f  (target <= 1.00: %s); peak %.1f / %.1f MB\n",
         n, b, a, a / b, a <= b ? "met" : "MISSED", pb / 1024, pa / 1024
}'
