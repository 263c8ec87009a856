// SQL text of queries and data-manipulation statements: SELECT in all its shapes (cursor
// specification, FOR UPDATE, grouping, UNION), FROM lists and joins, INSERT, UPDATE,
// DELETE, CALL, COMMIT and ROLLBACK.
#include <cstring>

#include "driver/sql/sqlgen_internal.h"

namespace {

void print_where(const Node* condition, SqlOutput& out) {
  if (!condition) return;
  sql_emitf(out, " WHERE ");
  sql_print_node(condition, out);
}

void print_table_name(const TableNameNode* node, SqlOutput& out) {
  sqlgen_print_qualifier(node->link, node->catalog, node->schema, nullptr, out);
  sqlgen_print_name(node->table, out);
}

void print_query_spec(const QuerySpecNode* node, SqlOutput& out) {
  sql_emitf(out, " SELECT ");
  if (node->quantifier == QUANT_ALL) sql_emitf(out, "ALL ");
  if (node->quantifier == QUANT_DISTINCT) sql_emitf(out, "DISTINCT ");
  // Kept so that a printed view or pass-through query limits its rows as written.
  if (node->top >= 0) sql_emitf(out, "TOP %d ", node->top);
  if (node->select_list) {
    sqlgen_print_list(node->select_list, ", ", out);
  } else {
    sql_emitf(out, "* ");
  }
  if (node->from) {
    sql_emitf(out, " FROM ");
    sqlgen_print_list(node->from, ", ", out);
    print_where(node->where, out);
  }
}

void print_grouped_query(const GroupedQueryNode* node, SqlOutput& out) {
  sql_print_node(node->query, out);
  if (node->group_by) {
    sql_emitf(out, " GROUP BY ");
    sqlgen_print_list(node->group_by, ", ", out);
  }
  if (node->having) {
    sql_emitf(out, " HAVING ");
    sql_print_node(node->having, out);
  }
}

void print_union(const UnionNode* node, SqlOutput& out) {
  sql_print_node(node->left, out);
  sql_emitf(out, " UNION ");
  if (node->all) sql_emitf(out, "ALL ");
  // UNION groups from the left; a right operand that is itself a UNION keeps its grouping.
  if (node->right && node->right->kind == NODE_UNION) {
    sqlgen_print_subquery(node->right, out);
  } else {
    sql_print_node(node->right, out);
  }
}

void print_cursor_spec(const CursorSpecNode* node, SqlOutput& out) {
  sql_print_node(node->query, out);
  if (node->order_by) {
    sql_emitf(out, " ORDER BY ");
    sqlgen_print_list(node->order_by, ", ", out);
  }
  if (node->has_limit) sql_emitf(out, " LIMIT %d", node->limit);
  if (node->offset)
    sql_emitf(out, node->has_limit ? " OFFSET %d" : " OFFSET %d ROWS", node->offset);
}

void print_select_for_update(const SelectForUpdateNode* node, SqlOutput& out) {
  sql_print_node(node->query, out);
  sql_emitf(out, " FOR UPDATE");
  if (node->columns) {
    sql_emitf(out, " OF ");
    sqlgen_print_list(node->columns, ", ", out);
  }
}

void print_order_item(const OrderItemNode* node, SqlOutput& out) {
  sql_print_node(node->expression, out);
  sql_emitf(out, node->descending ? " DESC" : " ASC ");
}

void print_select_item(const SelectItemNode* node, SqlOutput& out) {
  sql_print_node(node->expression, out);
  if (node->alias) {
    sql_emitf(out, " AS ");
    sqlgen_print_name(node->alias, out);
  }
}

void print_table_ref(const TableRefNode* node, SqlOutput& out) {
  if (node->table && node->table->kind == NODE_TABLE_NAME) {
    sql_print_node(node->table, out);
  } else {
    sqlgen_print_subquery(node->table, out);
  }
  if (node->alias) {
    // LIMIT, OFFSET and FETCH read back as an alias only after AS.
    const char* text = node->alias->quoted ? "" : node->alias->text;
    bool clause_word =
        !std::strcmp(text, "LIMIT") || !std::strcmp(text, "OFFSET") || !std::strcmp(text, "FETCH");
    sql_emitf(out, clause_word ? " AS " : " ");
    sqlgen_print_name(node->alias, out);
  }
  if (node->column_aliases) {
    sql_emitf(out, " ( ");
    sqlgen_print_list(node->column_aliases, ", ", out);
    sql_emitf(out, " )");
  }
}

void print_join_condition(const JoinConditionNode* node, SqlOutput& out) {
  if (node->using_columns) {
    sql_emitf(out, " USING ( ");
    sqlgen_print_list(node->using_columns, ", ", out);
    sql_emitf(out, " )");
  } else if (node->on) {
    sql_emitf(out, " ON ");
    sql_print_node(node->on, out);
  }
}

void print_joined_table(const JoinedTableNode* node, SqlOutput& out) {
  sql_emitf(out, " ");
  sql_print_node(node->left, out);
  if (node->natural) sql_emitf(out, " NATURAL");
  switch (node->join_type) {
    case JOIN_LEFT:
      sql_emitf(out, " LEFT OUTER");
      break;
    case JOIN_RIGHT:
      sql_emitf(out, " RIGHT OUTER");
      break;
    case JOIN_FULL:
      sql_emitf(out, " FULL OUTER");
      break;
    default:
      sql_emitf(out, " INNER");
      break;
  }
  sql_emitf(out, " JOIN ");
  // Joins group from the left; a joined table on the right keeps its grouping.
  if (node->right && node->right->kind == NODE_JOINED_TABLE) {
    sqlgen_print_subquery(node->right, out);
  } else {
    sql_print_node(node->right, out);
  }
  if (!node->natural && node->condition) print_join_condition(node->condition, out);
  sql_emitf(out, " ");
}

void print_insert_source(const InsertSourceNode* node, SqlOutput& out) {
  if (node->columns) {
    sql_emitf(out, " ( ");
    sqlgen_print_list(node->columns, ", ", out);
    sql_emitf(out, " ) ");
  }
  if (node->default_values) {
    sql_emitf(out, " DEFAULT VALUES ");
  } else if (node->query) {
    sql_print_node(node->query, out);
  } else {
    sql_emitf(out, " VALUES ( ");
    sqlgen_print_list(node->values, ", ", out);
    sql_emitf(out, " ) ");
  }
}

void print_insert(const InsertNode* node, SqlOutput& out) {
  sql_emitf(out, "INSERT INTO ");
  sql_print_node(node->table, out);
  sql_print_node(node->source, out);
}

void print_assignment(const SetAssignmentNode* node, SqlOutput& out) {
  if (node->column) {
    sqlgen_print_name(node->column, out);
    sql_emitf(out, " = ");
  }
  switch (node->value_kind) {
    case ASSIGN_NULL:
      sql_emitf(out, "NULL ");
      break;
    case ASSIGN_DEFAULT:
      sql_emitf(out, "DEFAULT VALUE ");
      break;
    case ASSIGN_SUBQUERY:
      sqlgen_print_subquery(node->value, out);
      break;
    default:
      sql_print_node(node->value, out);
      break;
  }
}

void print_update_head(const TableNameNode* table, ListNode* assignments, SqlOutput& out) {
  sql_emitf(out, "UPDATE ");
  sql_print_node(table, out);
  sql_emitf(out, " SET ");
  sqlgen_print_list(assignments, ", ", out);
}

void print_call(const CallNode* node, SqlOutput& out) {
  sql_emitf(out, "{ ");
  if (node->return_value) sql_emitf(out, "?= ");
  sql_emitf(out, "call ");
  sql_print_node(node->procedure, out);
  if (node->arguments) {
    sql_emitf(out, "(");
    sqlgen_print_list(node->arguments, ", ", out);
    sql_emitf(out, ")");
  }
  sql_emitf(out, "}");
}

}  // namespace

bool sqlgen_print_query_part(const Node* node, SqlOutput& out) {
  switch (node->kind) {
    case NODE_TABLE_NAME:
      print_table_name(node_cast<TableNameNode>(node), out);
      return true;
    case NODE_QUERY_SPEC:
      print_query_spec(node_cast<QuerySpecNode>(node), out);
      return true;
    case NODE_GROUPED_QUERY:
      print_grouped_query(node_cast<GroupedQueryNode>(node), out);
      return true;
    case NODE_UNION:
      print_union(node_cast<UnionNode>(node), out);
      return true;
    case NODE_CURSOR_SPEC:
      print_cursor_spec(node_cast<CursorSpecNode>(node), out);
      return true;
    case NODE_SELECT_FOR_UPDATE:
      print_select_for_update(node_cast<SelectForUpdateNode>(node), out);
      return true;
    case NODE_ORDER_ITEM:
      print_order_item(node_cast<OrderItemNode>(node), out);
      return true;
    case NODE_SELECT_ITEM:
      print_select_item(node_cast<SelectItemNode>(node), out);
      return true;
    case NODE_TABLE_REF:
      print_table_ref(node_cast<TableRefNode>(node), out);
      return true;
    case NODE_JOINED_TABLE:
      print_joined_table(node_cast<JoinedTableNode>(node), out);
      return true;
    case NODE_JOIN_CONDITION:
      print_join_condition(node_cast<JoinConditionNode>(node), out);
      return true;
    case NODE_INSERT_SOURCE:
      print_insert_source(node_cast<InsertSourceNode>(node), out);
      return true;
    case NODE_INSERT:
      print_insert(node_cast<InsertNode>(node), out);
      return true;
    case NODE_VALUES_KEYWORD:
      sql_emitf(out, node_cast<ValuesKeywordNode>(node)->which == 2 ? " DEFAULT " : " NULL ");
      return true;
    case NODE_SET_ASSIGNMENT:
      print_assignment(node_cast<SetAssignmentNode>(node), out);
      return true;
    case NODE_DELETE_POSITIONED: {
      auto* del = node_cast<DeletePositionedNode>(node);
      sql_emitf(out, "DELETE FROM ");
      sql_print_node(del->table, out);
      sql_emitf(out, " WHERE CURRENT OF ");
      sqlgen_print_name(del->cursor, out);
      return true;
    }
    case NODE_DELETE_SEARCHED: {
      auto* del = node_cast<DeleteSearchedNode>(node);
      sql_emitf(out, "DELETE FROM ");
      sql_print_node(del->table, out);
      print_where(del->where, out);
      return true;
    }
    case NODE_UPDATE_POSITIONED: {
      auto* update = node_cast<UpdatePositionedNode>(node);
      print_update_head(update->table, update->assignments, out);
      sql_emitf(out, " WHERE CURRENT OF ");
      sqlgen_print_name(update->cursor, out);
      return true;
    }
    case NODE_UPDATE_SEARCHED: {
      auto* update = node_cast<UpdateSearchedNode>(node);
      print_update_head(update->table, update->assignments, out);
      print_where(update->where, out);
      return true;
    }
    case NODE_CALL:
      print_call(node_cast<CallNode>(node), out);
      return true;
    case NODE_COMMIT:
      sql_emitf(out, "COMMIT WORK ");
      return true;
    case NODE_ROLLBACK:
      sql_emitf(out, "ROLLBACK WORK ");
      return true;
    default:
      return false;
  }
}
