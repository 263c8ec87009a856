// Shared helpers of the SQL text generator's units (not for use outside the generator).
#pragma once

#include "driver/sql/nodes.h"
#include "driver/sql/sqlgen.h"

// Prints the elements of `list` (Node* each) with `separator` between them; a null element
// prints nothing.
void sqlgen_print_list(ListNode* list, const char* separator, SqlOutput& out);
// Prints an identifier: delimited names between double quotes (inner quotes doubled).
void sqlgen_print_name(const NameNode* name, SqlOutput& out);
// Prints the qualifier parts link.catalog.schema.table, each followed by "." as needed so
// that an empty inner part leaves two consecutive dots. Nothing when all are null.
void sqlgen_print_qualifier(const NameNode* link, const NameNode* catalog, const NameNode* schema,
                            const NameNode* table, SqlOutput& out);
// Prints a query expression that stands as an operand: "( " query " )".
void sqlgen_print_subquery(const Node* query, SqlOutput& out);

// Printers by family of node kinds; each returns false, printing nothing, for other kinds.
// Data definition and privileges (100-104, 107-110, 112, 120, 129, 133, 135, 136, 164, 165).
bool sqlgen_print_statement(const Node* node, SqlOutput& out);
// Queries and data manipulation (105, 106, 111, 113-119, 122-127, 130, 137, 138, 161, 162, 168).
bool sqlgen_print_query_part(const Node* node, SqlOutput& out);
// Expressions and predicates (132, 142-153, 155, 157-160).
bool sqlgen_print_expression(const Node* node, SqlOutput& out);
// Literals, data types, precision pairs and interval qualifiers (134, 139-141, 154).
bool sqlgen_print_value(const Node* node, SqlOutput& out);
