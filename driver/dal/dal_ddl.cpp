// Data definition and row operations: choosing the backend by link name or
// by table, and the refusals when no single backend can be chosen.
#include <strings.h>

#include "driver/dal/dal.h"

namespace {

int gateway_error(DalIterator* it, const char* message) {
  SetReturnCode(it->errors, -1);
  PostError(it->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, DAL_GATEWAY_ORIGIN, "IM001", "%s", message);
  return SQI_ERROR;
}

// The entry a DDL request goes to, or -1 after posting why there is none.
int ddl_entry(DalIterator* it, const char* link) {
  Dal* dal = it->dal;
  if (link && link[0]) {
    for (int i = 0; i < dal->count; ++i)
      if (dal->entries[i].present && strcasecmp(dal->entries[i].link, link) == 0) return i;
    gateway_error(it, "Unable to match LINK specification");
    return -1;
  }
  if (dal->count <= DAL_ENTRY_COUNT) return 2;
  gateway_error(it,
                "DDL operations not permitted with more than one active DAL without LINK "
                "specification");
  return -1;
}

bool ready(DalIterator* it, int index) {
  DalEntry* entry = &it->dal->entries[index];
  if (!it->unallocated[index]) return true;
  SqiStmt stmt = entry->ops->alloc_stmt(it->errors, entry->handle, entry, nullptr);
  if (!stmt) return false;
  it->stmts[index] = stmt;
  it->unallocated[index] = false;
  it->status[index] = 0;
  return true;
}

using Request = int (*)(SqiStmt, void*);

int ddl(DalIterator* it, const char* link, Request SqiOperations::*slot, void* request,
        const char* missing) {
  int index = ddl_entry(it, link);
  if (index < 0) return SQI_ERROR;
  Request op = it->dal->entries[index].ops->*slot;
  if (!op) return missing ? gateway_error(it, missing) : SQI_ERROR;
  if (!ready(it, index)) return SQI_ERROR;
  return op(it->stmts[index], request);
}

using TableRequest = int (*)(SqiStmt, const DalTable*, void*);

int table_request(DalIterator* it, const DalTable* table, TableRequest SqiOperations::*slot,
                  void* request) {
  int index = table->backend_index;
  if (index < 0 || index >= it->dal->count) return SQI_ERROR;
  TableRequest op = it->dal->entries[index].ops->*slot;
  if (!op || !ready(it, index)) return SQI_ERROR;
  return op(it->stmts[index], table, request);
}

}  // namespace

int DALCreateTable(DalIterator* it, const char* link, void* request) {
  return ddl(it, link, &SqiOperations::create_table, request, nullptr);
}
int DALDropTable(DalIterator* it, const char* link, void* request) {
  return ddl(it, link, &SqiOperations::drop_table, request, nullptr);
}
int DALCreateIndex(DalIterator* it, const char* link, void* request) {
  return ddl(it, link, &SqiOperations::create_index, request, nullptr);
}
int DALDropIndex(DalIterator* it, const char* link, void* request) {
  return ddl(it, link, &SqiOperations::drop_index, request, nullptr);
}
int DALCreateUser(DalIterator* it, const char* link, void* request) {
  return ddl(it, link, &SqiOperations::create_user, request,
             "SQICreateUser not supported in SQI Driver");
}
int DALDropUser(DalIterator* it, const char* link, void* request) {
  return ddl(it, link, &SqiOperations::drop_user, request,
             "SQIDropUser not supported in SQI Driver");
}

int DALExecDDL(DalIterator* it, void* request) {
  if (it->dal->count > DAL_ENTRY_COUNT)
    return gateway_error(it, "DDL operations not permitted with more than one active DAL");
  Request op = it->dal->entries[2].ops->exec_ddl;
  if (!op) return gateway_error(it, "DDL operation not supported");
  if (!ready(it, 2)) return SQI_ERROR;
  return op(it->stmts[2], request);
}

int DALGrant(DalIterator* it, const DalTable* table, void* request) {
  return table_request(it, table, &SqiOperations::grant, request);
}
int DALRevoke(DalIterator* it, const DalTable* table, void* request) {
  return table_request(it, table, &SqiOperations::revoke, request);
}
int DALDropColumn(DalIterator* it, const DalTable* table, void* request) {
  return table_request(it, table, &SqiOperations::drop_column, request);
}
int DALAddColumn(DalIterator* it, const DalTable* table, void* request) {
  return table_request(it, table, &SqiOperations::add_column, request);
}
int DALFetchByKey(DalIterator* it, const DalTable* table, void* arguments) {
  it->single_backend = true;
  it->position = table->backend_index;
  return table_request(it, table, &SqiOperations::fetch_by_key, arguments);
}
int DALInsertRow(DalIterator* it, const DalTable* table, void* arguments) {
  return table_request(it, table, &SqiOperations::insert_row, arguments);
}
int DALDeleteRow(DalIterator* it, const DalTable* table, void* arguments) {
  return table_request(it, table, &SqiOperations::delete_row, arguments);
}
int DALUpdateRow(DalIterator* it, const DalTable* table, void* arguments, int mode) {
  int index = table->backend_index;
  if (index < 0 || index >= it->dal->count) return SQI_ERROR;
  auto op = it->dal->entries[index].ops->update_row;
  if (!op || !ready(it, index)) return SQI_ERROR;
  return op(it->stmts[index], table, arguments, mode);
}
