// SQL text of the data-definition and privilege statements: ALTER/CREATE/DROP of tables,
// views, indexes and users, GRANT and REVOKE, with column definitions and constraints.
#include "driver/sql/sqlgen_internal.h"

namespace {

void print_drop_behaviour(int32_t behaviour, SqlOutput& out) {
  if (behaviour == DROP_CASCADE) sql_emitf(out, " CASCADE ");
  if (behaviour == DROP_RESTRICT) sql_emitf(out, " RESTRICT ");
}

void print_alter_add(const AlterTableAddNode* node, SqlOutput& out) {
  sql_emitf(out, "ALTER TABLE ");
  sql_print_node(node->table, out);
  sql_emitf(out, " ADD COLUMN ");
  if (ListCount(node->columns) >= 2) {
    sql_emitf(out, " ( ");
    sqlgen_print_list(node->columns, ", ", out);
    sql_emitf(out, " ) ");
  } else {
    sqlgen_print_list(node->columns, ", ", out);
  }
}

void print_alter_drop(const AlterTableDropNode* node, SqlOutput& out) {
  sql_emitf(out, "ALTER TABLE ");
  sql_print_node(node->table, out);
  sql_emitf(out, " DROP COLUMN ");
  sqlgen_print_name(node->column, out);
  print_drop_behaviour(node->drop_behaviour, out);
}

void print_create_index(const CreateIndexNode* node, SqlOutput& out) {
  sql_emitf(out, "CREATE ");
  if (node->unique) sql_emitf(out, "UNIQUE ");
  sql_emitf(out, "INDEX ");
  sqlgen_print_name(node->index, out);
  sql_emitf(out, " ON ");
  sql_print_node(node->table, out);
  sql_emitf(out, " ( ");
  sqlgen_print_list(node->columns, ", ", out);
  sql_emitf(out, " ) ");
}

// A quoted string in the canonical literal form: inner quotes doubled.
void print_quoted_text(const char* text, SqlOutput& out) {
  std::string quoted = "'";
  for (const char* c = text ? text : ""; *c; ++c) {
    if (*c == '\'') quoted += '\'';
    quoted += *c;
  }
  quoted += "' ";
  sql_emitf(out, "%s", quoted.c_str());
}

void print_create_table(const CreateTableNode* node, SqlOutput& out) {
  sql_emitf(out, "CREATE TABLE ");
  sql_print_node(node->table, out);
  if (node->storage_kind == 1 || node->storage_kind == 3) {
    sql_emitf(out, node->storage_kind == 1 ? " ON %s" : " AS %s",
              node->storage ? node->storage : "");
  } else if (node->storage_kind == 2) {
    sql_emitf(out, " ON ");
    print_quoted_text(node->storage, out);
  }
  sql_emitf(out, " ( ");
  sqlgen_print_list(node->elements, ", ", out);
  sql_emitf(out, " ) ");
}

void print_create_view(const CreateViewNode* node, SqlOutput& out) {
  sql_emitf(out, "CREATE VIEW ");
  sql_print_node(node->view, out);
  if (node->columns) {
    sql_emitf(out, " ( ");
    sqlgen_print_list(node->columns, ", ", out);
    sql_emitf(out, " ) ");
  }
  sql_emitf(out, " AS ");
  sql_print_node(node->query, out);
  // Leading blank: the query may end in a bare name.
  if (node->check_option) sql_emitf(out, " WITH CHECK OPTION ");
}

void print_drop_index(const DropIndexNode* node, SqlOutput& out) {
  sql_emitf(out, "DROP INDEX ");
  sqlgen_print_name(node->index, out);
  if (node->table) {
    sql_emitf(out, " ON ");
    sql_print_node(node->table, out);
  }
}

void print_drop_table(const DropTableNode* node, SqlOutput& out) {
  sql_emitf(out, node->kind == NODE_DROP_TABLE ? "DROP TABLE " : "DROP VIEW ");
  sql_print_node(node->table, out);
  print_drop_behaviour(node->drop_behaviour, out);
}

void print_grant(const GrantNode* node, SqlOutput& out) {
  sql_emitf(out, "GRANT ");
  if (node->privileges) {
    sqlgen_print_list(node->privileges, ", ", out);
  } else {
    sql_emitf(out, "ALL PRIVILEGES");
  }
  sql_emitf(out, " ON TABLE ");
  sql_print_node(node->table, out);
  sql_emitf(out, " TO ");
  if (node->grantees) {
    sqlgen_print_list(node->grantees, ", ", out);
  } else {
    sql_emitf(out, "PUBLIC ");
  }
  if (node->grant_option) sql_emitf(out, " WITH GRANT OPTION");
}

void print_revoke(const GrantNode* node, SqlOutput& out) {
  sql_emitf(out, "REVOKE ");
  if (node->privileges) {
    sqlgen_print_list(node->privileges, ", ", out);
  } else {
    sql_emitf(out, "ALL PRIVILIGES ");
  }
  sql_emitf(out, " ON ");
  sql_print_node(node->table, out);
  sql_emitf(out, " FROM ");
  if (node->grantees) {
    sqlgen_print_list(node->grantees, ", ", out);
  } else {
    sql_emitf(out, " PUBLIC ");
  }
  print_drop_behaviour(node->drop_behaviour, out);
}

void print_privilege(const PrivilegeNode* node, SqlOutput& out) {
  static const char* const kActions[] = {"", "SELECT", "INSERT", "DELETE", "UPDATE", "REFERENCE"};
  if (node->action >= PRIV_SELECT && node->action <= PRIV_REFERENCES) {
    sql_emitf(out, "%s", kActions[node->action]);
  }
  if (node->columns) {
    sql_emitf(out, " ( ");
    sqlgen_print_list(node->columns, ", ", out);
    sql_emitf(out, " ) ");
  }
}

void print_index_column(const IndexColumnNode* node, SqlOutput& out) {
  sqlgen_print_name(node->name, out);
  sql_emitf(out, node->descending ? " DESC " : " ASC ");
}

void print_column_def(const ColumnDefNode* node, SqlOutput& out) {
  sqlgen_print_name(node->name, out);
  sql_print_node(node->type, out);
  for (ListNode* item = ListFirst(node->constraints); item; item = ListNext(item)) {
    sql_print_node(static_cast<const Node*>(ListData(item)), out);
  }
}

void print_column_constraint(const ColumnConstraintNode* node, SqlOutput& out) {
  switch (node->type) {
    case CCONS_UNIQUE:
      sql_emitf(out, "UNIQUE ");
      break;
    case CCONS_PRIMARY_KEY:
      sql_emitf(out, "PRIMARY KEY ");
      break;
    case CCONS_CHECK:
      sql_emitf(out, "CHECK ");
      sql_print_node(node->condition, out);
      sql_emitf(out, " ");
      break;
    case CCONS_NOT_NULL:
      sql_emitf(out, "NOT NULL ");
      break;
    case CCONS_NULL:
      sql_emitf(out, "NULL ");
      break;
    case CCONS_REFERENCES:
      sql_emitf(out, "REFERENCES ");
      sql_print_node(node->ref_table, out);
      if (node->ref_column) {
        sql_emitf(out, " ( ");
        sqlgen_print_name(node->ref_column, out);
        sql_emitf(out, " ) ");
      } else {
        sql_emitf(out, " ");
      }
      break;
    case CCONS_DEFAULT:
      sql_emitf(out, "DEFAULT ");
      sql_print_node(node->default_value, out);
      sql_emitf(out, " ");
      break;
    case CCONS_AUTO_INCREMENT:
      sql_emitf(out, "AUTO_INCREMENT ");
      if (node->start >= 0 && node->step >= 0) {
        sql_emitf(out, "( %d, %d ) ", node->start, node->step);
      } else if (node->start >= 0) {
        sql_emitf(out, "( %d ) ", node->start);
      }
      break;
    case CCONS_AS_NAME:
      sql_emitf(out, "AS ");
      sqlgen_print_name(node->as_name, out);
      if (node->as_items) {
        sql_emitf(out, " ( ");
        sqlgen_print_list(node->as_items, ", ", out);
        sql_emitf(out, " )");
      }
      sql_emitf(out, " ");
      break;
    case CCONS_AS_STRING:
      sql_emitf(out, "AS ");
      print_quoted_text(node->as_text, out);
      break;
    default:
      sql_emitf(out, "<unexpected constraint type %d> ", node->type);
      break;
  }
}

void print_name_list_in_parentheses(ListNode* names, SqlOutput& out) {
  sql_emitf(out, "( ");
  sqlgen_print_list(names, ", ", out);
  sql_emitf(out, " ) ");
}

void print_table_constraint(const TableConstraintNode* node, SqlOutput& out) {
  static const char* const kOnDelete[] = {"", "ON DELETE NO ACTION ", "ON DELETE CASCADE ",
                                          "ON DELETE SET NULL ", "ON DELETE SET DEFAULT "};
  switch (node->type) {
    case TCONS_UNIQUE:
      sql_emitf(out, " UNIQUE ");
      print_name_list_in_parentheses(node->columns, out);
      break;
    case TCONS_PRIMARY_KEY:
      sql_emitf(out, " PRIMARY KEY ");
      print_name_list_in_parentheses(node->columns, out);
      break;
    case TCONS_CHECK:
      sql_emitf(out, " CHECK ( ");
      sql_print_node(node->condition, out);
      sql_emitf(out, " ) ");
      break;
    case TCONS_FOREIGN_KEY:
      sql_emitf(out, " FOERIGN KEY ( ");
      sqlgen_print_list(node->columns, ", ", out);
      sql_emitf(out, " ) REFERENCES ");
      sql_print_node(node->ref_table, out);
      sql_emitf(out, " ");
      if (node->ref_columns) print_name_list_in_parentheses(node->ref_columns, out);
      if (node->on_delete > ON_DELETE_NONE && node->on_delete <= ON_DELETE_SET_DEFAULT) {
        sql_emitf(out, "%s", kOnDelete[node->on_delete]);
      }
      break;
    default:
      sql_emitf(out, "<unexpected constraint type %d> ", node->type);
      break;
  }
}

void print_create_user(const CreateUserNode* node, SqlOutput& out) {
  sql_emitf(out, "CREATE USER ");
  sqlgen_print_name(node->user, out);
  if (node->authorization) {
    sql_emitf(out, " AUTHORIZATION ");
    sqlgen_print_name(node->authorization, out);
  }
  if (node->in_name) {
    sql_emitf(out, " IN ");
    sqlgen_print_name(node->in_name, out);
  }
}

void print_drop_user(const DropUserNode* node, SqlOutput& out) {
  sql_emitf(out, "DROP USER ");
  sqlgen_print_name(node->user, out);
  if (node->in_name) {
    sql_emitf(out, " IN ");
    sqlgen_print_name(node->in_name, out);
  }
}

}  // namespace

bool sqlgen_print_statement(const Node* node, SqlOutput& out) {
  switch (node->kind) {
    case NODE_ALTER_TABLE_ADD:
      print_alter_add(node_cast<AlterTableAddNode>(node), out);
      return true;
    case NODE_ALTER_TABLE_DROP:
      print_alter_drop(node_cast<AlterTableDropNode>(node), out);
      return true;
    case NODE_CREATE_INDEX:
      print_create_index(node_cast<CreateIndexNode>(node), out);
      return true;
    case NODE_CREATE_TABLE:
      print_create_table(node_cast<CreateTableNode>(node), out);
      return true;
    case NODE_CREATE_VIEW:
      print_create_view(node_cast<CreateViewNode>(node), out);
      return true;
    case NODE_DROP_INDEX:
      print_drop_index(node_cast<DropIndexNode>(node), out);
      return true;
    case NODE_DROP_TABLE:
    case NODE_DROP_VIEW:
      print_drop_table(node_cast<DropTableNode>(node), out);
      return true;
    case NODE_GRANT:
      print_grant(node_cast<GrantNode>(node), out);
      return true;
    case NODE_REVOKE:
      print_revoke(node_cast<GrantNode>(node), out);
      return true;
    case NODE_PRIVILEGE:
      print_privilege(node_cast<PrivilegeNode>(node), out);
      return true;
    case NODE_INDEX_COLUMN:
      print_index_column(node_cast<IndexColumnNode>(node), out);
      return true;
    case NODE_COLUMN_DEF:
      print_column_def(node_cast<ColumnDefNode>(node), out);
      return true;
    case NODE_COLUMN_CONSTRAINT:
      print_column_constraint(node_cast<ColumnConstraintNode>(node), out);
      return true;
    case NODE_TABLE_CONSTRAINT:
      print_table_constraint(node_cast<TableConstraintNode>(node), out);
      return true;
    case NODE_CREATE_USER:
      print_create_user(node_cast<CreateUserNode>(node), out);
      return true;
    case NODE_DROP_USER:
      print_drop_user(node_cast<DropUserNode>(node), out);
      return true;
    default:
      return false;
  }
}
