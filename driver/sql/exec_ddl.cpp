// Data-definition statements: each validated plan goes to its data-access operation with the
// plan record as the request (the backend reads what it needs from it), the table or link it
// names choosing the backend; a definition ends the transaction on every backend.
#include "driver/dal/dal.h"
#include "driver/sql/exec_internal.h"

namespace {

const char* link_of(const TableNameNode* name) {
  return name && name->link ? name->link->text : nullptr;
}

// Runs one DDL operation on a fresh iterator: 0 or 1 as the DAL answered, -1 after an error
// (the DAL posted it; a refusal without a diagnostic gets a general one).
template <typename Operation>
int run(ExecStatement* statement, Operation operation) {
  DalIterator* it = DALOpenIterator(statement->errors, statement->dal);
  if (!it) return exec_post_memory(statement);
  int rc = operation(it);
  DALCloseIterator(it);
  if (rc == SQI_OK || rc == SQI_INFO) return rc;
  if (GetErrorCount(statement->errors) == 0)
    return exec_post_general(statement, 0, "Data definition refused by the data source");
  SetReturnCode(statement->errors, -1);
  return -1;
}

}  // namespace

int exec_data_definition(ExecStatement* statement, const StatementEntry* entry) {
  PlanRecord* plan = entry->plan;
  const int kind = entry->statement->kind;
  int rc = 0;
  switch (plan->kind) {
    case PLAN_CREATE_TABLE: {
      auto* create = node_cast<CreateTablePlan>(plan);
      rc = run(statement, [&](DalIterator* it) {
        return DALCreateTable(it, link_of(create->node->table), create);
      });
      break;
    }
    case PLAN_CREATE_INDEX: {
      auto* create = node_cast<CreateIndexPlan>(plan);
      rc = run(statement, [&](DalIterator* it) {
        return DALCreateIndex(it, link_of(create->node->table), create);
      });
      break;
    }
    case PLAN_TABLE: {  // DROP TABLE or DROP INDEX: the described table
      auto* table = node_cast<TableEntry>(plan);
      const char* link = table->table.link[0] ? table->table.link : nullptr;
      rc = run(statement, [&](DalIterator* it) {
        return kind == NODE_DROP_INDEX ? DALDropIndex(it, link, entry->statement)
                                       : DALDropTable(it, link, table);
      });
      break;
    }
    case PLAN_ALTER_DROP: {
      auto* alter = node_cast<AlterDropPlan>(plan);
      rc = run(statement,
               [&](DalIterator* it) { return DALDropColumn(it, &alter->table->table, alter); });
      break;
    }
    case PLAN_ALTER_ADD: {
      auto* alter = node_cast<AlterAddPlan>(plan);
      rc = run(statement,
               [&](DalIterator* it) { return DALAddColumn(it, &alter->table->table, alter); });
      break;
    }
    case PLAN_CREATE_USER:
    case PLAN_DROP_USER: {
      auto* user = node_cast<UserPlan>(plan);
      rc = run(statement, [&](DalIterator* it) {
        return plan->kind == PLAN_CREATE_USER ? DALCreateUser(it, user->in_name, user)
                                              : DALDropUser(it, user->in_name, user);
      });
      break;
    }
    default:
      return -2;
  }
  if (rc < 0) return rc;
  // A definition is committed on every backend at once.
  int end = DALEndTransaction(statement->dal, SQL_COMMIT);
  if (end != SQI_OK && end != SQI_INFO) {
    if (GetErrorCount(statement->errors) == 0)
      return exec_post_general(statement, 0, "Transaction could not be ended");
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  return rc;
}
