#!/usr/bin/env bash
# The cost of a table when a run converts many: 100, 200 and 400 tables of
# 1,000 rows × 10 mixed columns, each converted in one run to Excel 2000 and to
# .xlsx, side by side. Prints every run's wall time, its cost per table and its
# peak memory, and whether the .xls road meets its targets: a flat cost per
# table (400 tables within 4.5 times the per-table cost of 100), Excel 2000
# within 1.5 times .xlsx at 400 tables, peak memory under 64 MB.
#   bench/xls_many_tables_bench.sh [BUILD_DIR] [TABLE_ROWS (1000)] [COUNTS ("100 200 400")]
# Each conversion runs RUNS times (default 2), the formats alternately; the
# best time and the highest peak count.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
table_rows=${2:-1000}
counts=${3:-100 200 400}
runs=${RUNS:-2}
qvtbatch=$build/qvtbatch
[ -x "$qvtbatch" ] || { echo "missing $qvtbatch: build the tree first" >&2; exit 1; }

source "$root/bench/bench_lib.sh"
fill_bench_rows "$table_rows"

most=0
for n in $counts; do [ "$n" -gt "$most" ] && most=$n; done
echo "Filling qvt_many with $most tables of $table_rows rows ..."
{
  echo "SET NAMES utf8mb4; CREATE DATABASE qvt_many CHARACTER SET utf8mb4; USE qvt_many;"
  for t in $(seq 1 "$most"); do
    printf 'CREATE TABLE t%04d ENGINE=InnoDB SELECT * FROM qvt_bench.bench_rows;\n' "$t"
  done
} | sql

# One conversion of the first $1 tables to format $2 into $3, timed into $4;
# prints "seconds peak_kb".
convert() {
  local tables=$1 format=$2 dest=$3 timing=$4
  seq -f 't%04g' 1 "$tables" >"$state/tables.txt"
  rm -f "$dest"
  /usr/bin/time -v -o "$timing" "$qvtbatch" "${connection[@]}" --src=qvt_many --xls_ver="$format" \
      --tab_file="$state/tables.txt" --dest="$dest" >"$state/run.out" ||
    { cat "$state/run.out" "$timing" >&2; exit 1; }
  ! grep -q '^Error:' "$state/run.out" || { cat "$state/run.out" >&2; exit 1; }
  [ "$(grep -c '^Converting table ' "$state/run.out")" -eq "$tables" ] || { cat "$state/run.out" >&2; exit 1; }
  echo "$(seconds "$timing") $(peak_kb "$timing")"
}

declare -A best peak
for n in $counts; do
  for run in $(seq 1 "$runs"); do
    for format in 1 2; do
      [ "$format" = 1 ] && dest=$out/many.xls || dest=$out/many.xlsx
      read -r s k < <(convert "$n" "$format" "$dest" "$state/t.time")
      key=$n.$format
      if [ -z "${best[$key]:-}" ] || awk -v a="$s" -v b="${best[$key]}" 'BEGIN { exit !(a < b) }'; then
        best[$key]=$s
      fi
      [ "$k" -gt "${peak[$key]:-0}" ] && peak[$key]=$k
      printf 'run %d: %3d tables, %-10s %7.2f s %7.1f MB (%s bytes)\n' "$run" "$n" \
        "$([ "$format" = 1 ] && echo 'Excel 2000' || echo '.xlsx')" "$s" "$(mb "$k")" "$(stat -c %s "$dest")"
    done
  done
done

# The last workbooks hold every table: as many sheets as tables, of 1 + rows rows.
/usr/bin/python3 - "$out/many.xls" "$out/many.xlsx" "$most" "$table_rows" <<'PY'
import sys, xlrd, openpyxl
xls, xlsx, tables, rows = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
a = xlrd.open_workbook(xls, on_demand=True)
b = openpyxl.load_workbook(xlsx, read_only=True)
if a.nsheets != tables or len(b.sheetnames) != tables:
    sys.exit("sheets: %d (.xls), %d (.xlsx), expected %d" % (a.nsheets, len(b.sheetnames), tables))
last = a.sheet_by_index(tables - 1)
if last.nrows != rows + 1:
    sys.exit("the last .xls sheet has %d rows, expected %d" % (last.nrows, rows + 1))
print("both workbooks hold %d sheets; the last .xls sheet %d rows" % (tables, last.nrows))
PY

echo
printf '%-8s %-28s %-28s %s\n' tables 'Excel 2000 (s, ms/table, MB)' '.xlsx (s, ms/table, MB)' 'Excel 2000/.xlsx'
for n in $counts; do
  awk -v n="$n" -v x="${best[$n.1]}" -v y="${best[$n.2]}" -v px="${peak[$n.1]}" -v py="${peak[$n.2]}" 'BEGIN {
    printf "%-8d %6.2f %8.1f %8.1f      %6.2f %8.1f %8.1f      %.2f\n",
           n, x, 1000 * x / n, px / 1024, y, 1000 * y / n, py / 1024, x / y }'
done
first=${counts%% *}
high_peak=0
for key in "${!peak[@]}"; do [ "${peak[$key]}" -gt "$high_peak" ] && high_peak=${peak[$key]}; done
echo
awk -v f="$first" -v m="$most" -v xf="${best[$first.1]}" -v xm="${best[$most.1]}" -v ym="${best[$most.2]}" \
    -v pk="$high_peak" 'BEGIN {
  growth = (xm / m) / (xf / f)
  printf "Excel 2000 per table, %d against %d tables   %.2f  (target <= 4.5: %s)\n", m, f, growth,
         growth <= 4.5 ? "met" : "MISSED"
  printf "Excel 2000 against .xlsx at %d tables        %.2f  (target <= 1.5: %s)\n", m, xm / ym,
         xm / ym <= 1.5 ? "met" : "MISSED"
  printf "peak memory, any run                       %.1f MB  (target < 64 MB: %s)\n", pk / 1024,
         pk / 1024 < 64 ? "met" : "MISSED"
}'
