// quill_tables_doc: prints the table reference (docs/tables.md) from the same
// catalog data the driver serves: for every table its JSON-RPC method, whether
// a call changes node state, its required parameters and what each takes, its
// columns with their types with and without typed values, and an example query.
// Usage: quill_tables_doc [OUTPUT]   (standard output without OUTPUT)
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/eth/eth_catalog.h"
#include "driver/sql/parser.h"
#include "tools/tables_doc/example_values.h"

namespace {

// True when the engine cannot read `name` as a plain column name (it spells a keyword), so
// queries must write it in double quotes.
bool is_keyword(const std::string& name) {
  ParseContext* context = parse_context_create(nullptr);
  if (!context) return false;
  std::string in_list = "SELECT " + name + " FROM t";
  std::string in_condition = "SELECT a FROM t WHERE " + name + " = 1";
  bool refused =
      sql_parse(context, in_list.data()) != 0 || sql_parse(context, in_condition.data()) != 0;
  parse_context_free(context);
  return refused;
}

// What a call of the table changes on the node, read from the table's remark ("changes node
// state: <what>", possibly followed by the method in parentheses); "" when the call only reads.
std::string state_change(const EthCatalogTable& table) {
  const std::string marker = "changes node state: ";
  std::string remark = eth_table_remark(table);
  size_t at = remark.find(marker);
  if (at == std::string::npos) return "";
  std::string what = remark.substr(at + marker.size());
  size_t end = what.find_first_of(";(");
  if (end != std::string::npos) what.resize(end);
  while (!what.empty() && what.back() == ' ') what.pop_back();
  return what;
}

// The Markdown heading anchor of a table: its name in lower case.
std::string anchor(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

// The name as a query writes it.
std::string sql_name(const std::string& name) {
  return is_keyword(name) ? "\"" + name + "\"" : name;
}

// ODBC type codes of the catalog's columns (sql.h), named as SQLColumns' TYPE_NAME names them.
std::string text_type_name(int sql_type) {
  switch (sql_type) {
    case 12:
      return "WVARCHAR";
    case -1:
      return "WLONGVARCHAR";
    case 8:
      return "DOUBLE";
    case -7:
      return "BIT";
    default:
      return "type " + std::to_string(sql_type);
  }
}

std::string typed_type_name(const EthCatalogTable& table, const EthCatalogColumn& column) {
  switch (eth_value_kind(table, column)) {
    case ETH_VALUE_INT64:
      return "BIGINT";
    case ETH_VALUE_UINT256:
      return "NUMERIC(38,0)";
    case ETH_VALUE_TIMESTAMP:
      return "TIMESTAMP";
    case ETH_VALUE_TEXT:
      break;
  }
  return text_type_name(column.sql_type);
}

std::string length_text(int length) {
  switch (length) {
    case ETH_LENGTH_STRING:
      return "string_length";
    case ETH_LENGTH_ARRAY:
      return "array_length";
    case ETH_LENGTH_OBJECT:
      return "object_length";
    case ETH_LENGTH_ID:
      return "id_length";
    case ETH_LENGTH_BLOCK:
      return "block_length";
    case ETH_LENGTH_BYTES:
      return std::to_string(ETH_BYTES_LENGTH);
    default:
      return length > 0 ? std::to_string(length) : "";
  }
}

// What the value holds, from the column's flags and JSON kind.
std::string column_note(const EthCatalogColumn& column) {
  std::string note;
  if (column.flags & ETH_COLUMN_PARAM)
    note = (column.flags & ETH_COLUMN_REQUIRED) ? "required parameter" : "optional parameter";
  else if (column.flags & ETH_COLUMN_ELEMENT)
    note = "from each element";
  if (column.flags & ETH_COLUMN_JSON) note += note.empty() ? "JSON text" : "; JSON text";
  if (column.type_name && *column.type_name)
    note += (note.empty() ? "" : "; ") + std::string(column.type_name);
  if (is_keyword(column.name))
    note += (note.empty() ? "" : "; ") + std::string("a keyword: write it as `\"") + column.name +
            "\"`";
  return note;
}

std::string table_rows(const EthCatalogTable& table) {
  if (table.flags & ETH_TABLE_CHILD)
    return std::string("one per element of `") +
           (table.expansion_path ? table.expansion_path : "") + "` in the result";
  if (table.flags & ETH_TABLE_SCALAR_RESULT) return "one (the result, as column `result`)";
  if (table.flags & ETH_TABLE_OBJECT_RESULT) return "at most one (the result object)";
  return "one per element of the result";
}

// A query over the table's first few columns giving every parameter its example value.
std::string example_query(const EthCatalogTable& table, std::string* missing) {
  std::string select;
  std::string where;
  int shown = 0;
  for (const EthCatalogColumn& column : eth_catalog_columns(table)) {
    if (column.flags & ETH_COLUMN_PARAM) {
      std::string value = example_value(table.name, column.name);
      if (value.empty()) {
        if (column.flags & ETH_COLUMN_REQUIRED)
          *missing += (missing->empty() ? " `" : ", `") + std::string(column.name) + "`";
        continue;
      }
      where += (where.empty() ? " WHERE " : " AND ") + sql_name(column.name) + " = " + value;
    } else if (shown < 3) {
      select += (shown++ ? ", " : "") + sql_name(column.name);
    }
  }
  if (select.empty()) select = "*";
  return "SELECT " + select + " FROM " + sql_name(table.name) + where;
}

void print_table(std::ostream& out, const EthCatalogTable& table) {
  out << "## " << table.name << "\n\n";
  std::string change = state_change(table);
  out << "JSON-RPC method `" << table.method << "`. Rows: " << table_rows(table) << ". ";
  if (change.empty())
    out << "Reads only; the call changes nothing on the node.\n\n";
  else
    out << "**The call changes node state:** " << change << ".\n\n";

  bool any_parameter = false;
  for (const EthCatalogColumn& column : eth_catalog_columns(table)) {
    if (!(column.flags & ETH_COLUMN_PARAM)) continue;
    if (!any_parameter) out << "| parameter | required | takes |\n|---|---|---|\n";
    any_parameter = true;
    const char* takes = eth_parameter_remark(column);
    std::string text = takes ? takes : "";
    const std::string prefix = "required parameter: ";
    if (text.rfind(prefix, 0) == 0) text = text.substr(prefix.size());
    if (text == "required parameter") text = "";
    out << "| `" << column.name << "` | " << ((column.flags & ETH_COLUMN_REQUIRED) ? "yes" : "no")
        << " | " << text << " |\n";
  }
  out << (any_parameter ? "\n" : "No parameters.\n\n");

  out << "| column | type | with typed_values | length | what |\n|---|---|---|---|---|\n";
  for (const EthCatalogColumn& column : eth_catalog_columns(table))
    out << "| `" << column.name << "` | " << text_type_name(column.sql_type) << " | "
        << typed_type_name(table, column) << " | " << length_text(column.length) << " | "
        << column_note(column) << " |\n";
  std::string missing;
  std::string query = example_query(table, &missing);
  // A query that lacks a required value is shown but not run by the examples test.
  if (!missing.empty()) out << "\nGive" << missing << " to run this query:\n<!-- no-run -->";
  out << "\n```sql\n" << query << "\n```\n";
  out << "\n";
}

void print_reference(std::ostream& out) {
  out << "# Table reference\n\n"
      << "Generated by `quill_tables_doc` from the driver's catalog; do not edit by hand (the "
         "`tables_doc` test fails when this file and the catalog differ: rebuild and run "
         "`build/tools/tables_doc/quill_tables_doc docs/tables.md`).\n\n"
      << "Each JSON-RPC method is a table; its parameters are columns given with `=` (block "
         "parameters also take ranges and lists). Child tables (`..._transactions`, "
         "`..._Logs`) turn an array of the result into rows. Column types are shown as the "
         "driver reports them by default and with the connection key `typed_values=yes`. The "
         "example queries run against a node seeded by `tests/servers/seed_chain.py`.\n\n";
  out << "| table | JSON-RPC method | changes node state |\n|---|---|---|\n";
  for (const EthCatalogTable& table : eth_catalog_tables())
    out << "| [" << table.name << "](#" << anchor(table.name) << ") | `" << table.method << "` | "
        << (state_change(table).empty() ? "no" : "**yes**") << " |\n";
  out << "\n";
  for (const EthCatalogTable& table : eth_catalog_tables()) print_table(out, table);
}

}  // namespace

int main(int argc, char** argv) {
  std::ostringstream text;
  print_reference(text);
  if (argc < 2) {
    std::cout << text.str();
    return 0;
  }
  std::ofstream file(argv[1]);
  file << text.str();
  if (!file) {
    std::fprintf(stderr, "quill_tables_doc: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
