// The rows of a catalog function: read from the data-access call column by
// column into fixed-length sort records, sorted by the function's keys, and
// handed to the cursor layer as its row source.
#include "driver/odbc/catalog/catalog_result.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "driver/odbc/cursor/cursor_layer.h"
#include "driver/odbc/handles/frame.h"
#include "support/config.h"
#include "support/connstr.h"
#include "support/dm.h"
#include "support/strbuf.h"

namespace {

// Room for the longest character value a catalog column holds, its NUL and more: a longer
// value is cut to the column's length.
constexpr size_t kTextBuffer = 1024;

CatalogResult* result_of(QuillStmt* stmt) {
  return stmt->catalog;
}

bool is_character(int sql_type) {
  return sql_type == SQL_VARCHAR || sql_type == SQL_CHAR;
}

// Column size of a catalog column as the cursor layer lays it out.
int32_t column_size(const CatalogColumn& column) {
  if (is_character(column.sql_type)) return column.length;
  return column.sql_type == SQL_INTEGER ? 10 : 5;
}

SQLRETURN post_general(ErrorHeader* errors, const char* text) {
  return post_call_error(errors, "HY000", MSG_GENERAL_ERROR, text);
}

// Posts the failure of `sort` with its own text (a general text when it has none).
int post_sort_failure(ErrorHeader* errors, SortWork* sort, int code) {
  char text[160] = "";
  if (sort) sort_error_text(sort, text, sizeof text);
  if (!text[0])
    std::snprintf(
        text, sizeof text, "%s",
        code == SORT_NO_MEMORY ? "Out of memory in sort routine" : "error in sort routine");
  post_general(errors, text);
  return -1;
}

// A data-access failure that left no diagnostic of its own still gets one.
int post_dal_failure(ErrorHeader* errors, int diagnostics_before, const char* what) {
  if (GetErrorCount(errors) <= diagnostics_before) post_general(errors, what);
  return -1;
}

// The ODBC 2 code of an ODBC 3 date, time or timestamp type code.
int odbc2_type(int sql_type) {
  switch (sql_type) {
    case SQL_TYPE_DATE:
      return SQL_DATE;
    case SQL_TYPE_TIME:
      return SQL_TIME;
    case SQL_TYPE_TIMESTAMP:
      return SQL_TIMESTAMP;
    default:
      return sql_type;
  }
}

// Reads column `number` (1-based) of the iterator's current row into `value`. false after
// posting.
bool read_column(CatalogResult* result, int number, QuillValue* value) {
  const CatalogColumn& column = result->layout->columns[number - 1];
  int before = GetErrorCount(result->errors);
  SQLLEN indicator = 0;
  if (is_character(column.sql_type)) {
    char text[kTextBuffer] = "";
    int rc = DALGetData(result->iterator, number, SQL_C_CHAR, text, sizeof text, &indicator);
    if (rc == SQI_ERROR) {
      post_dal_failure(result->errors, before, "catalog column read");
      return false;
    }
    value->length = column.length;
    if (indicator == SQL_NULL_DATA) {
      set_value_null(value, VALUE_CHARACTER);
      return true;
    }
    size_t size = strnlen(text, sizeof text - 1);
    size = utf8_truncation_point(text, size, static_cast<size_t>(column.length));
    if (set_value_to_text(value, text, size) != 0) {
      post_call_error(result->errors, "HY001", MSG_MEMORY);
      return false;
    }
    return true;
  }
  SQLINTEGER number_value = 0;
  SQLSMALLINT small_value = 0;
  bool small = column.sql_type == SQL_SMALLINT;
  int rc = small ? DALGetData(result->iterator, number, SQL_C_SSHORT, &small_value,
                              sizeof small_value, &indicator)
                 : DALGetData(result->iterator, number, SQL_C_SLONG, &number_value,
                              sizeof number_value, &indicator);
  if (rc == SQI_ERROR) {
    post_dal_failure(result->errors, before, "catalog column read");
    return false;
  }
  if (indicator == SQL_NULL_DATA) {
    set_value_null(value, VALUE_INTEGER);
    return true;
  }
  int32_t n = small ? small_value : number_value;
  // ODBC 2 applications know the date, time and timestamp types by their old codes.
  if (result->odbc2 && result->layout->function == SQL_API_SQLGETTYPEINFO && number == 2)
    n = odbc2_type(n);
  set_value_to_int(value, n);
  return true;
}

// Writes the iterator's current row into the record. false after posting.
bool store_row(CatalogResult* result) {
  std::memset(result->record.data(), 0, result->record.size());
  for (int i = 0; i < result->layout->column_count; ++i) {
    QuillValue* value = result->values[static_cast<size_t>(i)];
    if (!read_column(result, i + 1, value)) return false;
    if (value_to_dm(result->record.data() + result->fields[static_cast<size_t>(i)].offset, value) <
        0) {
      post_general(result->errors, "Internal Error");
      return false;
    }
  }
  return true;
}

// Opens the sort on the function's keys. false after posting.
bool open_sort(QuillStmt* stmt, CatalogResult* result) {
  SortKey keys[CATALOG_MAX_KEYS];
  const CatalogLayout& layout = *result->layout;
  for (int k = 0; k < layout.key_count; ++k) {
    const CatalogColumn& column = layout.columns[layout.keys[k] - 1];
    const CatalogField& field = result->fields[static_cast<size_t>(layout.keys[k] - 1)];
    keys[k] = SortKey{sql_to_value_type(column.sql_type), field.offset, field.size, 0};
  }
  char directory[260];
  SortContext context = catalog_sort_context(stmt, directory, sizeof directory);
  int rc = sort_open(result->record_length, false, layout.key_count, keys, &result->sort,
                     stmt->tree_pool, context);
  if (rc != SORT_OK || !result->sort) {
    result->sort = nullptr;
    post_general(stmt->errors, "error in starting sort routine");
    return false;
  }
  return true;
}

// Row source of the cursor layer: the next sorted record into the value slots.
int source_fetch(void* context) {
  auto* result = static_cast<CatalogResult*>(context);
  int rc = sort_read(result->sort, result->record.data());
  if (rc == SORT_END) return EXEC_NO_DATA;
  if (rc != SORT_OK) return post_sort_failure(result->errors, result->sort, rc);
  for (size_t i = 0; i < result->values.size(); ++i) {
    if (dm_to_value(result->record.data() + result->fields[i].offset, result->values[i]) != 0) {
      post_call_error(result->errors, "HY001", MSG_MEMORY);
      return EXEC_ERROR;
    }
  }
  return EXEC_OK;
}

const QuillValue* source_column(void* context, int column) {
  auto* result = static_cast<CatalogResult*>(context);
  if (column < 0 || static_cast<size_t>(column) >= result->values.size()) return nullptr;
  return result->values[static_cast<size_t>(column)];
}

// Opens the cursor layer over the sorted rows: static when the cursor is scrollable and
// static, else forward-only. false after posting.
bool open_cursor(QuillStmt* stmt, CatalogResult* result) {
  CursorSource source{result,
                      source_fetch,
                      source_column,
                      result->layout->column_count,
                      result->column_types.data(),
                      result->column_lengths.data()};
  if (const char* size = get_attribute_value(&stmt->dbc->attributes, "work_dir_size"))
    cursor_note_cache_size(std::atol(size));
  const StmtAttributes& a = stmt->attrs;
  CursorOptions options{};
  options.kind = a.cursor_scrollable == SQL_SCROLLABLE && a.cursor_type == SQL_CURSOR_STATIC
                     ? CURSOR_STATIC
                     : CURSOR_FORWARD_ONLY;
  options.max_rows = static_cast<SQLLEN>(a.max_rows) > 0 ? a.max_rows : 0;
  options.work_dir = stmt->dbc->schema_fileset;
  options.cache_slots = cursor_cache_size();
  auto* layer = cursor_open(stmt->errors, stmt->tree_pool, options, source);
  if (!layer) return false;
  stmt->cursor = layer;
  stmt->cursor_open = true;
  return true;
}

}  // namespace

SortContext catalog_sort_context(QuillStmt* stmt, char* directory, size_t size) {
  SortContext context{};
  context.work_mem_size = -1;
  directory[0] = '\0';
  context.work_dir = directory;
  QuillDbc* dbc = stmt->dbc;
  const char* memory = get_attribute_value(&dbc->attributes, "work_mem_size");
  if (memory && *memory) {
    char* end = nullptr;
    long megabytes = std::strtol(memory, &end, 10);
    if (end != memory) context.work_mem_size = megabytes;
  }
  const char* dir = get_attribute_value(&dbc->attributes, "work_dir_path");
  if (dir && dir[0])
    std::snprintf(directory, size, "%s", dir);
  else if (dbc->env && dbc->env->config)
    connection_default(dbc, "work_dir_path", directory, static_cast<int>(size));
  size_t length = std::strlen(directory);
  if (length > 1 && (directory[length - 1] == '/' || directory[length - 1] == '\\'))
    directory[length - 1] = '\0';
  return context;
}

CatalogResult* catalog_result_create(QuillStmt* stmt, const CatalogLayout& layout,
                                     const CatalogRequest& request) {
  auto* result = new (std::nothrow) CatalogResult;
  if (!result) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return nullptr;
  }
  try {
    result->layout = &layout;
    result->request = request;
    result->errors = stmt->errors;
    result->odbc2 = stmt->dbc->env && stmt->dbc->env->odbc_version == SQL_OV_ODBC2;
    int32_t offset = 0;
    for (int i = 0; i < layout.column_count; ++i) {
      const CatalogColumn& column = layout.columns[i];
      int32_t size =
          get_dm_length(column.sql_type, column.length) + static_cast<int32_t>(DM_HEADER_SIZE);
      result->fields.push_back(CatalogField{offset, size});
      offset += size;
      QuillValue* value =
          NewValue(stmt->tree_pool, is_character(column.sql_type) ? column.length : 0);
      if (!value) throw std::bad_alloc();
      result->values.push_back(value);
      result->column_types.push_back(column.sql_type);
      result->column_lengths.push_back(column_size(column));
    }
    result->record_length = offset;
    result->record.assign(static_cast<size_t>(offset), 0);
  } catch (const std::bad_alloc&) {
    delete result;
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return nullptr;
  }
  stmt->catalog = result;
  return result;
}

int catalog_result_run(QuillStmt* stmt, CatalogResult* result) {
  int before = GetErrorCount(stmt->errors);
  result->iterator = DALOpenIterator(stmt->errors, stmt->dbc->dal);
  if (!result->iterator) return -1;
  int rc = catalog_request_run(result->iterator, result->request, result->odbc2);
  // A source that failed inside a broadcast leaves its diagnostic while the call goes on:
  // the application learns of it through the warning.
  if (rc == SQI_INFO || (rc == SQI_OK && GetErrorCount(stmt->errors) > before)) {
    result->info = true;
  } else if (rc != SQI_OK && rc != SQI_NO_DATA) {
    return post_dal_failure(stmt->errors, before, "catalog request failed");
  }
  if (!open_sort(stmt, result)) return -1;
  // A call that answered "no data" has no rows to read.
  for (bool more = rc != SQI_NO_DATA; more;) {
    before = GetErrorCount(stmt->errors);
    // SQLCancel (from another thread, or of an asynchronous call) stops the reading.
    if (std::atomic_ref<int>(stmt->cancel_requested).load() != 0) {
      post_call_error(stmt->errors, "HY008", "Operation canceled");
      return -1;
    }
    rc = DALFetch(result->iterator);
    if (rc == SQI_NO_DATA) break;
    if (rc == SQI_INFO) {
      result->info = true;
    } else if (rc != SQI_OK) {
      return post_dal_failure(stmt->errors, before, "catalog fetch failed");
    }
    if (!store_row(result)) return -1;
    if (!catalog_row_matches(result->patterns, result->values)) continue;
    int sorted = sort_insert(result->sort, result->record.data());
    if (sorted != SORT_OK) return post_sort_failure(stmt->errors, result->sort, sorted);
  }
  int finished = sort_finish(result->sort);
  if (finished != SORT_OK) return post_sort_failure(stmt->errors, result->sort, finished);
  // Every row is in the sort now; the backends' statements can go.
  DALCloseIterator(result->iterator);
  result->iterator = nullptr;
  if (!open_cursor(stmt, result)) return -1;
  return result->info ? 1 : 0;
}

void catalog_release(QuillStmt* stmt) {
  CatalogResult* result = result_of(stmt);
  if (!result) return;
  stmt->catalog = nullptr;
  sort_close(result->sort);
  if (result->iterator) DALCloseIterator(result->iterator);
  // The value slots live in the statement's tree pool and go with it.
  delete result;
}
