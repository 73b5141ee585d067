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
[ -x /usr/bin/time ] || { echo "missing /usr/bin/time (Debian package 'time')" >&2; exit 1; }

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

best_q=""; best_r=""; peak_q=0; peak_r=0
for run in $(seq 1 "$runs"); do
  rm -f "$out"/*.xlsx
  /usr/bin/time -v -o "$state/q.time" "$qvtbatch" --host="$host" --port="$port" --user="$user" \
      --pswd="$password" --src=qvt_bench --xls_ver=2 --dest="$out/qvtbatch.xlsx" >"$state/q.out" \
    || { cat "$state/q.out" "$state/q.time" >&2; exit 1; }
  /usr/bin/time -v -o "$state/r.time" "$reference" "$host" "$port" "$user" "$password" qvt_bench \
      'SELECT * FROM `bench_rows`' bench_rows "$out/reference.xlsx" >"$state/r.out" \
    || { cat "$state/r.out" "$state/r.time" >&2; exit 1; }
  q=$(seconds "$state/q.time"); r=$(seconds "$state/r.time")
  printf 'run %d: qvtbatch %6.2f s %7.1f MB (%s bytes)   reference %6.2f s %7.1f MB (%s bytes)\n' "$run" \
    "$q" "$(awk -v k="$(peak_kb "$state/q.time")" 'BEGIN { print k / 1024 }')" "$(stat -c %s "$out/qvtbatch.xlsx")" \
    "$r" "$(awk -v k="$(peak_kb "$state/r.time")" 'BEGIN { print k / 1024 }')" "$(stat -c %s "$out/reference.xlsx")"
  if [ -z "$best_q" ] || awk -v a="$q" -v b="$best_q" 'BEGIN { exit !(a < b) }'; then best_q=$q; fi
  if [ -z "$best_r" ] || awk -v a="$r" -v b="$best_r" 'BEGIN { exit !(a < b) }'; then best_r=$r; fi
  kq=$(peak_kb "$state/q.time"); kr=$(peak_kb "$state/r.time")
  [ "$kq" -gt "$peak_q" ] && peak_q=$kq
  [ "$kr" -gt "$peak_r" ] && peak_r=$kr
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
