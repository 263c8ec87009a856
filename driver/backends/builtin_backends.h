// The two built-in backends at the head of every connection's data-access list: the view
// store (list index 0) and the INFO_SCHEMA tables (list index 1). Like every backend they
// see only the backend interface and the support runtime; the call layer installs them.
#pragma once

#include "driver/dal/sqi/sqi.h"

// The view store's operation table: it knows no view and answers SQLGetTypeInfo.
const SqiOperations* view_store_operations();
// The INFO_SCHEMA tables' operation table (their rows come through info_schema_install_catalog).
const SqiOperations* info_schema_operations();
