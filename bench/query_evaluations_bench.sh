#!/usr/bin/env bash
# How often a run has the server evaluate a query, and what that costs: the
# server's own statement log (general_log to a table) counts the statements of
# one run that evaluate the query, for a query that waits one second (SLEEP)
# and for a report of ROWS rows sorted on a column that is not the key, each
# to .xlsx. The wall times count too, with the log off, beside the read floor
# (the mariadb client reading the sorted report once). With BEFORE (the path
# of a qvtbatch built from an earlier commit) both programs run alternately.
#   bench/query_evaluations_bench.sh [BUILD_DIR] [ROWS (1000000)]
# Every program runs RUNS times (default 3); the best time counts.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rows=${2:-1000000}
runs=${RUNS:-3}
qvtbatch=$build/qvtbatch
before=${BEFORE:-}
[ -x "$qvtbatch" ] || { echo "missing $qvtbatch: build the tree first" >&2; exit 1; }
[ -z "$before" ] || [ -x "$before" ] || { echo "missing $before (BEFORE=)" >&2; exit 1; }

source "$root/bench/bench_lib.sh"
fill_bench_rows "$rows"

# profile NAME QUERY: a profile whose one entry is the query.
profile() {
  printf '[Generic settings]\r\nsrc=qvt_bench\r\n[MySQL settings]\r\nhost=%s\r\nport=%s\r\nuser=%s\r\npassword=%s\r\n[Selected Tables]\r\n%s=%s\r\n' \
    "$host" "$port" "$user" "$password" "$1" "$2" >"$state/$1.qvt"
}
profile pause "SELECT SLEEP(1) AS pause, 'qvt_pause' AS tag"
report_query="SELECT id, created, city, note FROM bench_rows ORDER BY created DESC, id"
profile report "$report_query -- qvt_report"

convert() {  # convert PROGRAM ENTRY TIMEFILE: one run to .xlsx, checked
  rm -f "$out/$2.xlsx"
  /usr/bin/time -v -o "$3" "$1" --profile="$state/$2.qvt" --xls_ver=2 --dest="$out/$2.xlsx" >"$state/c.out" \
    || { cat "$state/c.out" "$3" >&2; exit 1; }
  if grep -q '^Error:' "$state/c.out"; then cat "$state/c.out" >&2; exit 1; fi
}

evaluations() {  # evaluations PROGRAM ENTRY TAG: statements of one run that evaluate the query
  sql -e "TRUNCATE TABLE mysql.general_log; SET GLOBAL log_output = 'TABLE'; SET GLOBAL general_log = ON"
  convert "$1" "$2" "$state/e.time"
  sql -N -e "SET GLOBAL general_log = OFF;
             SELECT COUNT(*) FROM mysql.general_log WHERE command_type IN ('Query', 'Execute') AND argument LIKE '%$3%'"
}

# Whether the report's rows are in the query's order: newest first.
in_order() {
  /usr/bin/python3 - "$out/report.xlsx" <<'PY'
import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1], read_only=True)
created = [r[1] for _, r in zip(range(100001), book.worksheets[0].iter_rows(min_row=2, values_only=True))]
print("yes" if created == sorted(created, reverse=True) else "no")
PY
}

programs=("$qvtbatch")
labels=("now")
if [ -n "$before" ]; then programs=("$before" "$qvtbatch"); labels=("before" "now"); fi

for i in "${!programs[@]}"; do
  p=${programs[$i]}
  printf '%-6s  evaluations: pause %s, report %s\n' "${labels[$i]}" \
    "$(evaluations "$p" pause qvt_pause)" "$(evaluations "$p" report qvt_report)"
done

best_before_pause=""; best_before_report=""; best_now_pause=""; best_now_report=""; best_floor=""
for run in $(seq 1 "$runs"); do
  line="run $run:"
  for i in "${!programs[@]}"; do
    for entry in pause report; do
      convert "${programs[$i]}" "$entry" "$state/t.time"
      s=$(seconds "$state/t.time")
      keep_best "best_${labels[$i]}_$entry" "$s"
      line+=$(printf '  %s %s %6.2f s' "${labels[$i]}" "$entry" "$s")
    done
    [ "$run" != 1 ] || order[$i]=$(in_order)
  done
  # The floor: the mariadb client reading the report once, sorted by the server.
  /usr/bin/time -v -o "$state/f.time" env MYSQL_PWD="$password" "$client" --no-defaults --protocol=tcp \
      --host="$host" --port="$port" --user="$user" --quick --batch --skip-column-names -e "$report_query" \
      qvt_bench >/dev/null
  f=$(seconds "$state/f.time")
  keep_best best_floor "$f"
  line+=$(printf '  read floor %6.2f s' "$f")
  echo "$line"
done
echo
for i in "${!programs[@]}"; do
  l=${labels[$i]}
  pause=best_${l}_pause; report=best_${l}_report
  printf '%-6s  best: SLEEP(1) query %.2f s, %d-row sorted report %.2f s; report rows in the query'"'"'s order: %s\n' \
    "$l" "${!pause}" "$rows" "${!report}" "${order[$i]}"
done
printf 'read floor: the mariadb client reads the sorted report once in %.2f s\n' "$best_floor"
