// Reading the connection's replication file at statement allocation: the file named by the
// connection (replication_path, else the replication_file setting) is resolved through the
// connection's data-access layer into entries kept in the connection's pool.
#include "driver/odbc/positioned/replication.h"

#include "driver/odbc/positioned/stmt_positioned.h"
#include "driver/sql/exec_replication.h"

bool replication_at_statement_allocation(QuillDbc* dbc) {
  stmt_positioned_install();
  if (!dbc || dbc->replication_entries || !dbc->dal) return true;
  const char* path = dbc->replication_path;
  if (!path) path = get_attribute_value(&dbc->attributes, REPLICATION_FILE_KEY);
  if (!path || !*path) return true;
  ReplicationList* list = nullptr;
  if (replication_load(dbc->dal, dbc->errors, dbc->pool, path, &list) < 0) return false;
  dbc->replication_entries = list;
  return true;
}
