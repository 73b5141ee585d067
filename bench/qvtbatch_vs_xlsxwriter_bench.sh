#!/usr/bin/env bash
# qvtbatch against a libxlsxwriter exporter (constant-memory mode) on one table
# of 1,000,000 rows and 10 mixed columns read with the same SELECT: prints both
# wall times, their ratio and both peak memories, and whether qvtbatch meets its
# targets (no slower than the reference, peak memory under 128 MB).
#   bench/qvtbatch_vs_xlsxwriter_bench.sh [BUILD_DIR] [ROWS]
# Both programs run RUNS times (default 2), alternately; the best time counts.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rows=${2:-1000000}
runs=${RUNS:-2}
qvtbatch=$build/qvtbatch
reference=$build/bench/reference_exporter
for program in "$qvtbatch" "$reference"; do
  if [ ! -x "$program" ]; then
    echo "missing $program: build the tree first (reference_exporter needs libxlsxwriter-dev)" >&2
    exit 1
  fi
done

source "$root/bench/bench_lib.sh"
fill_bench_rows "$rows"

for run in $(seq 1 "$runs"); do
  rm -f "$out"/*.xlsx
  /usr/bin/time -v -o "$state/q.time" "$qvtbatch" "${connection[@]}" --src=qvt_bench --xls_ver=2 \
      --dest="$out/qvtbatch.xlsx" >"$state/q.out" || { cat "$state/q.out" "$state/q.time" >&2; exit 1; }
  /usr/bin/time -v -o "$state/r.time" "$reference" "$host" "$port" "$user" "$password" qvt_bench \
      'SELECT * FROM `bench_rows`' bench_rows "$out/reference.xlsx" >"$state/r.out" \
    || { cat "$state/r.out" "$state/r.time" >&2; exit 1; }
  note_run
  printf 'run %d: qvtbatch %6.2f s %7.1f MB (%s bytes)   reference %6.2f s %7.1f MB (%s bytes)\n' "$run" \
    "$q" "$(mb "$kq")" "$(stat -c %s "$out/qvtbatch.xlsx")" "$r" "$(mb "$kr")" "$(stat -c %s "$out/reference.xlsx")"
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
awk -v q="$best_q" -v r="$best_r" -v pq="$peak_q" -v pr="$peak_r" -v rows="$rows" 'BEGIN {
  printf "rows                       %d x 10 columns\n", rows
  printf "wall time (best)           qvtbatch %.2f s, reference %.2f s\n", q, r
  printf "ratio qvtbatch/reference   %.2f  (target <= 1.00: %s)\n", q / r, q <= r ? "met" : "MISSED"
  printf "peak memory                qvtbatch %.1f MB, reference %.1f MB  (target < 128 MB: %s)\n",
         pq / 1024, pr / 1024, pq / 1024 < 128 ? "met" : "MISSED"
}'
