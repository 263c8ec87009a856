// Entry points of the SQL text generator: the node dispatcher, statement lists, names and
// the convenience wrappers that bind a tree to one of the three output sinks.
#include "driver/sql/sqlgen.h"

#include <cstdint>
#include <string>

#include "driver/sql/sqlgen_internal.h"

void sql_print_node(const Node* node, SqlOutput& out) {
  if (!node) return;
  if (node->kind == NODE_WRAPPER) {
    sql_print_node(node_cast<WrapperNode>(node)->wrapped, out);
    return;
  }
  if (node->kind == NODE_NAME) {
    sqlgen_print_name(node_cast<NameNode>(node), out);
    return;
  }
  if (sqlgen_print_statement(node, out) || sqlgen_print_query_part(node, out) ||
      sqlgen_print_expression(node, out) || sqlgen_print_value(node, out)) {
    return;
  }
  sql_emitf(out, "<unexpected node type %lx->%d>",
            static_cast<unsigned long>(reinterpret_cast<uintptr_t>(node)), node->kind);
}

void sql_print_statement_list(ListNode* statements, SqlOutput& out) {
  for (ListNode* item = ListFirst(statements); item; item = ListNext(item)) {
    sql_print_node(static_cast<const Node*>(ListData(item)), out);
    if (ListNext(item)) sql_emitf(out, "; ");
  }
}

void sqlgen_print_list(ListNode* list, const char* separator, SqlOutput& out) {
  for (ListNode* item = ListFirst(list); item; item = ListNext(item)) {
    sql_print_node(static_cast<const Node*>(ListData(item)), out);
    if (ListNext(item)) sql_emitf(out, "%s", separator);
  }
}

void sqlgen_print_name(const NameNode* name, SqlOutput& out) {
  if (!name || !name->text) return;
  if (!name->quoted) {
    sql_emitf(out, "%s", name->text);
    return;
  }
  // A double quote inside a delimited name is written twice so the text reads back.
  std::string text = "\"";
  for (const char* c = name->text; *c; ++c) {
    if (*c == '"') text += '"';
    text += *c;
  }
  text += '"';
  sql_emitf(out, "%s", text.c_str());
}

void sqlgen_print_qualifier(const NameNode* link, const NameNode* catalog, const NameNode* schema,
                            const NameNode* table, SqlOutput& out) {
  if (link) {
    // A link name reads back only as the "link$catalog" part it was split from.
    std::string joined = link->text ? link->text : "";
    joined += '$';
    if (catalog && catalog->text) joined += catalog->text;
    NameNode combined{{NODE_NAME}, joined.c_str(), 1};
    sqlgen_print_name(&combined, out);
    sql_emitf(out, ".");
  } else if (catalog) {
    sqlgen_print_name(catalog, out);
    sql_emitf(out, ".");
  }
  if (link || catalog || schema) {
    sqlgen_print_name(schema, out);
    sql_emitf(out, ".");
  }
  if (table) {
    sqlgen_print_name(table, out);
    sql_emitf(out, ".");
  }
}

void sqlgen_print_subquery(const Node* query, SqlOutput& out) {
  sql_emitf(out, "( ");
  sql_print_node(query, out);
  sql_emitf(out, " )");
}

std::string sql_node_text(const Node* node, int mode) {
  SqlStringSink sink;
  SqlOutput out = sql_output_to_string(sink, mode);
  sql_print_node(node, out);
  return std::move(sink.text);
}

std::string sql_statement_list_text(ListNode* statements, int mode) {
  SqlStringSink sink;
  SqlOutput out = sql_output_to_string(sink, mode);
  sql_print_statement_list(statements, out);
  return std::move(sink.text);
}

size_t sql_node_text_length(const Node* node, int mode) {
  SqlLengthSink sink;
  SqlOutput out = sql_output_to_length(sink, mode);
  sql_print_node(node, out);
  return sink.length;
}

size_t sql_statement_list_text_length(ListNode* statements, int mode) {
  SqlLengthSink sink;
  SqlOutput out = sql_output_to_length(sink, mode);
  sql_print_statement_list(statements, out);
  return sink.length;
}

char* sql_node_text_in_pool(MemPool* pool, const Node* node, int mode) {
  size_t length = sql_node_text_length(node, mode);
  char* text = static_cast<char*>(quill_mem_alloc(pool, length + 1));
  if (!text) return nullptr;
  SqlBufferSink sink;
  sql_buffer_sink_init(sink, text, length + 1);
  SqlOutput out = sql_output_to_buffer(sink, mode);
  sql_print_node(node, out);
  return text;
}

size_t sql_statement_list_into(ListNode* statements, char* buffer, size_t capacity, bool* truncated,
                               int mode) {
  SqlBufferSink sink;
  sql_buffer_sink_init(sink, buffer, capacity);
  SqlOutput out = sql_output_to_buffer(sink, mode);
  sql_print_statement_list(statements, out);
  if (truncated) *truncated = sink.truncated;
  return sink.full_length;
}
