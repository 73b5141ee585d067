// Temporary stand-ins for the statement runner and the row writer's flush, so that
// updates and deletes build and run on their own; the writer's own definitions
// replace this file.
#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "SQL/sql_tab.h"
#include "SQL/sql_util.h"

void sql_database::query_append(const std::string& statement)
{
  if (mysql_real_query(handle_, statement.data(), statement.size()) != 0)
    sql_raise(handle_);
  const sql_result_ptr rows(mysql_store_result(handle_));
}

void sql_table::send_pending()
{
}
