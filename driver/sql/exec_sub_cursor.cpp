// Cursors over FROM-list entries whose rows come from sub-statements: derived tables and
// joined tables. Dispatches on the entry type.
#include "driver/sql/exec_sub_internal.h"

int sub_cursor_open(ExecStatement* statement, TableCursor* cursor) {
  if (cursor == nullptr || cursor->entry == nullptr)
    return exec_post_general(statement, EXEC_NATIVE_JOIN, "Internal Error");
  switch (cursor->entry->type) {
    case TABLE_DERIVED:
      if (cursor->entry->derived == nullptr)
        return exec_post_general(statement, EXEC_NATIVE_JOIN, "Internal Error");
      return sub_derived_open(statement, cursor);
    case TABLE_JOINED:
      return sub_join_open(statement, cursor);
    default:
      return exec_post_general(statement, EXEC_NATIVE_JOIN, "Internal Error");
  }
}

int sub_cursor_fetch(ExecStatement* statement, TableCursor* cursor) {
  if (cursor == nullptr || cursor->entry == nullptr || cursor->sub == nullptr) return EXEC_NO_DATA;
  int rc = cursor->entry->type == TABLE_JOINED ? sub_join_fetch(statement, cursor)
                                               : sub_derived_fetch(statement, cursor);
  if (rc == EXEC_NO_DATA) cursor->exhausted = true;
  return rc;
}

void sub_cursor_close(ExecStatement* statement, TableCursor* cursor) {
  if (cursor == nullptr || cursor->entry == nullptr || cursor->sub == nullptr) return;
  if (cursor->entry->type == TABLE_JOINED)
    sub_join_close(statement, cursor);
  else
    sub_derived_close(statement, cursor);
}
