// Pieces shared by the units that describe expressions (sql_types_describe.cpp and
// sql_types_functions.cpp).
#pragma once

#include "driver/sql/nodes.h"
#include "driver/sql/sql_types.h"

// The node at position `index` (from 0) of a node list; null past its end.
const Node* describe_list_item(ListNode* list, int index);
// `out` becomes the type table row of `sql_type` with the given nullability.
void describe_type(int sql_type, int nullable, TypeDescription* out);
// The description of a scalar function call (named or SQL-syntax form); false when an
// argument it depends on cannot be described or the function is unknown.
bool describe_function(const FunctionNode* function, const DescribeContext& context,
                       TypeDescription* out);
