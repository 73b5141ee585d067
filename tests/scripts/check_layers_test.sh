#!/usr/bin/env bash
# The layering check passes on the tree and fails on a copy with an include
# planted upward (TK including the conversion core; the DAO engine's shared
# part including a driver), sideways (SQL including the workbook writer; one DAO
# driver including the other), one that skips the core (the wizard including the
# MySQL engine) and one into a side no program links (the core including the
# MySQL writer), naming each.
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for folder in platform TK OLE UDB SQL xlsx dao common GUI2 qvtbatch qorvant; do
  cp -r "$root/$folder" "$work/"
done
"$root/scripts/check-layers" "$work" || { echo "the tree itself fails the check"; exit 1; }
echo '#include "common/xls_conv.h"' >>"$work/TK/tk_log.cpp"
echo '#include "xlsx/xlsx_book.h"' >>"$work/SQL/sql_engi.cpp"
echo '#include "platform/dao/excel/workbook.h"' >>"$work/platform/dao/dao_class_registry.cpp"
echo '#include "platform/dao/access/store.h"' >>"$work/platform/dao/excel/recordset.cpp"
echo '#include "SQL/sql_engi.h"' >>"$work/GUI2/connection_page.cpp"
echo '#include "SQL/write/sql_db_write.h"' >>"$work/common/mysql_conv.cpp"
if out=$("$root/scripts/check-layers" "$work"); then
  echo "planted includes were not found"
  exit 1
fi
grep -q '^TK/tk_log.cpp:[0-9]*: #include "common/xls_conv.h" (TK includes common)$' <<<"$out"
grep -q '^SQL/sql_engi.cpp:[0-9]*: #include "xlsx/xlsx_book.h" (SQL includes xlsx)$' <<<"$out"
grep -q '^platform/dao/dao_class_registry.cpp:[0-9]*: #include "platform/dao/excel/workbook.h" (platform/dao includes platform/dao/excel)$' <<<"$out"
grep -q '^platform/dao/excel/recordset.cpp:[0-9]*: #include "platform/dao/access/store.h" (platform/dao/excel includes platform/dao/access)$' <<<"$out"
grep -q '^GUI2/connection_page.cpp:[0-9]*: #include "SQL/sql_engi.h" (GUI2 reaches SQL only through common)$' <<<"$out"
grep -q '^common/mysql_conv.cpp:[0-9]*: #include "SQL/write/sql_db_write.h" (common includes SQL/write, which no program links)$' <<<"$out"
[ "$(wc -l <<<"$out")" -eq 6 ]
