// Catalog operations of the Ethereum backend (table and column descriptions,
// SQLTables, SQLColumns, keys, special columns, statistics) and its refusals
// of data definition and row modification. Signatures are those of the
// SqiOperations slots; every table lives in catalog "ETH", schema "DBO".
#pragma once

#include "driver/dal/sqi/sqi.h"

constexpr const char* ETH_CATALOG_NAME = "ETH";
constexpr const char* ETH_SCHEMA_NAME = "DBO";

// Describes the table of that name (case-insensitive); SQI_NOT_FOUND when unknown.
int eth_describe_table(SqiEnv env, const char* table, DalTable* out);
// Fills `count` column descriptors; SQI_ERROR (posted) when `count` is not the column count.
int eth_describe_columns(SqiEnv env, const DalTable* table, int count, DalColumn* out);
// The key columns (name, number) into `out` (at most `capacity`), their number in *count.
int eth_get_pk_info(SqiEnv env, const DalTable* table, DalKeyColumn* out, int capacity, int* count);

// Catalog results: each attaches a new row set to the statement, replacing an earlier one.
// SQLTables: the catalog, schema or table-type enumerations, or the tables selected by exact
// name (backslashes removed) and by the requested types.
int eth_tables(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table, SqiText types);
// SQLColumns: one row per column of the selected table(s) (exact names), in catalog order.
int eth_columns(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table, SqiText column);
// SQLPrimaryKeys: the key columns of the table (none in the built-in catalog).
int eth_primary_keys(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table);
// SQLSpecialColumns: the key columns for the best row identifier; no rows otherwise.
int eth_special_columns(SqiStmt stmt, int identifier_type, SqiText catalog, SqiText schema,
                        SqiText table, int scope, int nullable);
// SQLStatistics: the table-statistics row of the table (case-insensitive), then its key.
int eth_statistics(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table, int unique,
                   int reserved);

// Privileges and foreign keys: success without touching the statement.
int eth_column_privileges(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table,
                          SqiText column);
int eth_foreign_keys(SqiStmt stmt, SqiText pk_catalog, SqiText pk_schema, SqiText pk_table,
                     SqiText fk_catalog, SqiText fk_schema, SqiText fk_table);
int eth_table_privileges(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table);

// Data definition: always refused with HY000 naming the statement; SQI_ERROR.
int eth_create_table(SqiStmt stmt, void* request);
int eth_create_index(SqiStmt stmt, void* request);
int eth_drop_table(SqiStmt stmt, void* request);
int eth_drop_index(SqiStmt stmt, void* request);
int eth_grant(SqiStmt stmt, const DalTable* table, void* request);
int eth_revoke(SqiStmt stmt, const DalTable* table, void* request);
int eth_drop_column(SqiStmt stmt, const DalTable* table, void* request);
int eth_add_column(SqiStmt stmt, const DalTable* table, void* request);

// Row operations: SQI_NOT_FOUND for an unknown table, SQI_OK for an updatable one,
// otherwise refused (views are not updateable) with SQI_ERROR.
int eth_fetch_by_key(SqiStmt stmt, const DalTable* table, void* arguments);
int eth_insert_row(SqiStmt stmt, const DalTable* table, void* arguments);
int eth_delete_row(SqiStmt stmt, const DalTable* table, void* arguments);
// As the other row operations when `mode` is 1; SQI_NOT_FOUND for any other mode.
int eth_update_row(SqiStmt stmt, const DalTable* table, void* arguments, int mode);
