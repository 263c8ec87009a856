// Helpers shared by the parameter units (loading and pieces); not for other callers.
#pragma once

#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/params/param_convert.h"

// Indicator value of an assembled value that has received no piece yet.
constexpr int32_t PARAM_NO_PIECE = -2;

// True when the indicator asks for the value at execution (SQL_DATA_AT_EXEC or
// SQL_LEN_DATA_AT_EXEC(n)).
bool param_asks_data_at_exec(const SQLLEN* indicator);
// The pool of this execution's parameter values, made on first use; null on memory failure.
MemPool* param_pool(QuillStmt* stmt);
// Directory for the spill files of long parameter values (null: the default).
const char* param_work_dir(QuillStmt* stmt);
// What parameter `number` is, from its IPD record.
ParamTarget param_target_of(QuillStmt* stmt, const DescRecord* imp, int number);
// Turns the value assembled from SQLPutData pieces for parameter `number` into its final
// value (once; later calls find it final). false with the failure in `error`.
bool param_pieces_finish(QuillStmt* stmt, const DescRecord* app, DescRecord* imp, int number,
                         ParamError* error);
