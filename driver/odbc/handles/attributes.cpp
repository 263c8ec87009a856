// Default statement attributes of a new connection's template statement.
#include "driver/odbc/handles/handles.h"

void stmt_attributes_init(StmtAttributes* attrs) {
  *attrs = StmtAttributes{};
  attrs->cursor_type = SQL_CURSOR_FORWARD_ONLY;
  attrs->concurrency = SQL_CONCUR_READ_ONLY;
  attrs->rowset_size = 1;
  attrs->retrieve_data = SQL_RD_ON;
  attrs->paramset_size = 1;
  attrs->row_array_size = 1;
  attrs->cursor_sensitivity = SQL_INSENSITIVE;
  attrs->cursor_scrollable = SQL_NONSCROLLABLE;
}
