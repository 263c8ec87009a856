// The Ethereum backend's operation table: which operation fills which slot.
// Pass-through SQL, procedures and user management have no entry.
#include "driver/eth/eth_meta.h"
#include "driver/eth/eth_prefetch.h"
#include "driver/eth/eth_query.h"
#include "driver/eth/eth_sqi.h"

const SqiOperations* eth_operations() {
  static const SqiOperations operations = {
      .alloc_env = eth_alloc_env,
      .free_env = eth_free_env,
      .connect = eth_connect,
      .disconnect = eth_disconnect,
      .get_info = eth_get_info,
      .set_option = eth_set_option,
      .describe_table = eth_describe_table,
      .describe_columns = eth_describe_columns,
      .alloc_stmt = eth_alloc_stmt,
      .free_stmt = eth_free_stmt,
      .close_stmt = eth_close_stmt,
      .fetch = eth_fetch,
      .tables = eth_tables,
      .columns = eth_columns,
      .column_privileges = eth_column_privileges,
      .primary_keys = eth_primary_keys,
      .special_columns = eth_special_columns,
      .statistics = eth_statistics,
      .foreign_keys = eth_foreign_keys,
      .table_privileges = eth_table_privileges,
      .get_data = eth_get_data,
      .start_scan = eth_start_scan,
      .get_type_info = eth_get_type_info,
      .create_table = eth_create_table,
      .create_index = eth_create_index,
      .drop_table = eth_drop_table,
      .drop_index = eth_drop_index,
      .get_pk_info = eth_get_pk_info,
      .fetch_by_key = eth_fetch_by_key,
      .insert_row = eth_insert_row,
      .delete_row = eth_delete_row,
      .update_row = eth_update_row,
      .begin_transaction = eth_begin_transaction,
      .end_transaction = eth_end_transaction,
      .grant = eth_grant,
      .revoke = eth_revoke,
      .drop_column = eth_drop_column,
      .add_column = eth_add_column,
      .exec_ddl = nullptr,
      .procedures = nullptr,
      .procedure_columns = nullptr,
      .reserved_41 = nullptr,
      .reserved_42 = nullptr,
      .reserved_43 = nullptr,
      .exec_sql = nullptr,
      .reserved_45 = nullptr,
      .create_user = nullptr,
      .drop_user = nullptr,
      .set_timeout = nullptr,
      .set_wait = eth_set_wait,
      .prepare_scans = eth_prepare_scans,
  };
  return &operations;
}
