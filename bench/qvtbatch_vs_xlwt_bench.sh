#!/usr/bin/env bash
# qvtbatch to Excel 2000 against an xlwt exporter reading the same SELECT with a
# streaming PyMySQL cursor, on one table of 65,535 rows and 10 mixed columns:
# both wall times, their ratio and both peak memories against the targets (at
# least 5 times faster, under 64 MB). Then a database of 50 tables of 5,000 rows
# converted in one run, where every table reopens the workbook: the seconds per
# table for the first ten and the last ten, so that a growing cost of carrying
# the earlier sheets shows.
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
[ -x /usr/bin/time ] || { echo "missing /usr/bin/time (Debian package 'time')" >&2; exit 1; }
/usr/bin/python3 -c 'import pymysql, xlwt, xlrd' ||
  { echo "missing python3-pymysql, python3-xlwt or python3-xlrd (scripts/install-deps)" >&2; exit 1; }

state=$(mktemp -d "${TMPDIR:-/tmp}/qvt-bench.XXXXXX")
cleanup() {
  "$root/scripts/test-server" stop "$state/server" >/dev/null 2>&1 || true
  rm -rf "$state"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$root/scripts/test-server" start "$state/server" >/dev/null
env_value() { sed -n "s/^$1=//p" "$state/server/env"; }
host=$(env_value host); port=$(env_value port); user=$(env_value user); password=$(env_value password)
client=$(command -v mariadb || command -v mysql)
sql() { MYSQL_PWD=$password "$client" --no-defaults --protocol=tcp --host="$host" --port="$port" --user="$user" "$@"; }
connection=(--host="$host" --port="$port" --user="$user" --pswd="$password")

echo "Filling qvt_bench.bench_rows with $rows rows ..."
sql <<SQL
SET NAMES utf8mb4;
CREATE DATABASE qvt_bench CHARACTER SET utf8mb4;
USE qvt_bench;
CREATE TABLE bench_rows (
  id INT PRIMARY KEY,
  quantity BIGINT NOT NULL,
  price DECIMAL(12,2) NULL,
  created DATETIME NOT NULL,
  due DATE NULL,
  ratio DOUBLE NOT NULL,
  code VARCHAR(12) NOT NULL,
  city VARCHAR(40) NULL,
  note TEXT NULL,
  flag TINYINT NOT NULL
) ENGINE=InnoDB;
INSERT INTO bench_rows
SELECT seq,
       CAST((seq * 7919) % 1000003 AS SIGNED) - 500000,
       IF(seq % 10 = 0, NULL, ROUND((seq * 104729) % 10000000 / 100, 2)),
       TIMESTAMP '2020-01-01 00:00:00' + INTERVAL (seq * 7907) % 157680000 SECOND,
       IF(seq % 7 = 0, NULL, DATE '2000-01-01' + INTERVAL seq % 9000 DAY),
       (seq % 1000) / 7.0,
       CONCAT('C-', seq % 500),
       IF(seq % 13 = 0, NULL, ELT(1 + seq % 6, 'Zürich', 'São Paulo', 'Kraków', 'Malmö', 'Reykjavík', 'Besançon')),
       IF(seq % 5 = 0, NULL, CONCAT('Order note ', seq % 97, ': ',
          REPEAT(ELT(1 + seq % 4, 'deliver to the back door; ', 'fragile, handle with care; ',
                     'call before delivery; ', 'gift wrap — no invoice inside; '), 1 + seq % 8))),
       seq % 2
FROM seq_1_to_$rows;
SQL

out=$state/out
mkdir -p "$out"
seconds() {  # "Elapsed (wall clock) time (h:mm:ss or m:ss): 1:02.34" in seconds
  sed -n 's/.*Elapsed (wall clock) time.*: //p' "$1" |
    awk -F: '{ s = 0; for (i = 1; i <= NF; ++i) s = s * 60 + $i; printf "%.2f", s }'
}
peak_kb() { sed -n 's/.*Maximum resident set size (kbytes): //p' "$1"; }
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

best_q=""; best_r=""; peak_q=0; peak_r=0
for run in $(seq 1 "$runs"); do
  rm -f "$out"/*.xls
  /usr/bin/time -v -o "$state/q.time" "$qvtbatch" "${connection[@]}" --src=qvt_bench --xls_ver=1 \
      --dest="$out/qvtbatch.xls" >"$state/q.out" || { cat "$state/q.out" "$state/q.time" >&2; exit 1; }
  ! grep -q '^Error:' "$state/q.out" || { cat "$state/q.out" >&2; exit 1; }
  /usr/bin/time -v -o "$state/r.time" /usr/bin/python3 "$reference" "$host" "$port" "$user" "$password" \
      qvt_bench 'SELECT * FROM `bench_rows`' bench_rows "$out/reference.xls" >"$state/r.out" 2>&1 \
    || { cat "$state/r.out" "$state/r.time" >&2; exit 1; }
  q=$(seconds "$state/q.time"); r=$(seconds "$state/r.time")
  kq=$(peak_kb "$state/q.time"); kr=$(peak_kb "$state/r.time")
  printf 'run %d: qvtbatch %6.2f s %6s MB (%s bytes)   xlwt %6.2f s %6s MB (%s bytes)\n' "$run" \
    "$q" "$(mb "$kq")" "$(stat -c %s "$out/qvtbatch.xls")" "$r" "$(mb "$kr")" "$(stat -c %s "$out/reference.xls")"
  if [ -z "$best_q" ] || awk -v a="$q" -v b="$best_q" 'BEGIN { exit !(a < b) }'; then best_q=$q; fi
  if [ -z "$best_r" ] || awk -v a="$r" -v b="$best_r" 'BEGIN { exit !(a < b) }'; then best_r=$r; fi
  [ "$kq" -gt "$peak_q" ] && peak_q=$kq
  [ "$kr" -gt "$peak_r" ] && peak_r=$kr
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
