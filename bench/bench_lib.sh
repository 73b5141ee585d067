# Shared by the qvtbatch-against-a-reference benches: a private test server,
# the 10-column bench table, and /usr/bin/time figures. Sourced after `root` is
# set; the server and the scratch folder `state` go away when the bench exits.

[ -x /usr/bin/time ] || { echo "missing /usr/bin/time (Debian package 'time')" >&2; exit 1; }

state=$(mktemp -d "${TMPDIR:-/tmp}/qvt-bench.XXXXXX")
bench_cleanup() {
  "$root/scripts/test-server" stop "$state/server" >/dev/null 2>&1 || true
  rm -rf "$state"
}
trap bench_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$root/scripts/test-server" start "$state/server" >/dev/null
env_value() { sed -n "s/^$1=//p" "$state/server/env"; }
host=$(env_value host); port=$(env_value port); user=$(env_value user); password=$(env_value password)
client=$(command -v mariadb || command -v mysql)
sql() { MYSQL_PWD=$password "$client" --no-defaults --protocol=tcp --host="$host" --port="$port" --user="$user" "$@"; }
connection=(--host="$host" --port="$port" --user="$user" --pswd="$password")
out=$state/out
mkdir -p "$out"

# qvt_bench.bench_rows with $1 rows: integers, DECIMAL, DATETIME, DATE, DOUBLE,
# short and long texts with repeats, NULLs.
fill_bench_rows() {
  echo "Filling qvt_bench.bench_rows with $1 rows ..."
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
FROM seq_1_to_$1;
SQL
}

seconds() {  # "Elapsed (wall clock) time (h:mm:ss or m:ss): 1:02.34" in seconds
  sed -n 's/.*Elapsed (wall clock) time.*: //p' "$1" |
    awk -F: '{ s = 0; for (i = 1; i <= NF; ++i) s = s * 60 + $i; printf "%.2f", s }'
}
peak_kb() { sed -n 's/.*Maximum resident set size (kbytes): //p' "$1"; }
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# One run's figures of qvtbatch (q, kq) and the reference (r, kr), both timed
# into $state/q.time and $state/r.time, folded into the best times and the
# highest peaks over all runs.
best_q=""; best_r=""; peak_q=0; peak_r=0
note_run() {
  q=$(seconds "$state/q.time"); r=$(seconds "$state/r.time")
  kq=$(peak_kb "$state/q.time"); kr=$(peak_kb "$state/r.time")
  keep_best best_q "$q"; keep_best best_r "$r"
  keep_peak peak_q "$kq"; keep_peak peak_r "$kr"
}

# keep_best NAME SECONDS: the variable NAME keeps the smaller time (an empty
# one takes SECONDS); keep_peak NAME KB: the variable NAME keeps the larger.
keep_best() {
  if [ -z "${!1}" ] || awk -v a="$2" -v b="${!1}" 'BEGIN { exit !(a < b) }'; then printf -v "$1" '%s' "$2"; fi
}
keep_peak() {
  if [ "$2" -gt "${!1}" ]; then printf -v "$1" '%s' "$2"; fi
}
