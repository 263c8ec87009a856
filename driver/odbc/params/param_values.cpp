// Parameter values: data-at-execution bookkeeping, the loading of bound
// application buffers into engine values for every parameter set (bind
// offsets, row- or column-wise arrays), and the report of failed sets.
#include "driver/odbc/params/param_values.h"

#include <cstring>
#include <type_traits>

#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/params/param_internal.h"
#include "driver/odbc/params/param_types.h"

namespace {

// Address of element `set` of a bound array whose elements take `element` bytes; the bind
// offset applies to every element.
template <typename T>
T* element_at(T* base, const QuillDesc* apd, SQLULEN set, SQLLEN element) {
  if (!base) return nullptr;
  auto* bytes = reinterpret_cast<char*>(const_cast<std::remove_const_t<T>*>(base));
  bytes += apd->bind_type > 0 ? static_cast<SQLLEN>(set * apd->bind_type)
                              : static_cast<SQLLEN>(set) * element;
  if (apd->bind_offset_ptr) bytes += *apd->bind_offset_ptr;
  return reinterpret_cast<T*>(bytes);
}

bool is_bound(const DescRecord* app, const DescRecord* imp) {
  return app && imp && (app->data_ptr || app->indicator_ptr || app->octet_length_ptr);
}

SQLLEN read_length(const SQLLEN* at) {
  SQLLEN n = 0;
  std::memcpy(&n, at, sizeof n);
  return n;
}

// Bytes of character or binary data at `data`: the length when given, else up to the
// terminating zero (within the buffer when its length is known).
bool byte_length(const void* data, SQLSMALLINT c_type, const SQLLEN* length, SQLLEN buffer_length,
                 SQLLEN* out, ParamError* error) {
  SQLLEN given = length ? read_length(length) : SQL_NTS;
  if (given >= 0) {
    *out = given;
    return true;
  }
  if (given != SQL_NTS) return param_fail(error, "HY090", "Invalid string or buffer length");
  if (c_type == SQL_C_WCHAR) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    SQLLEN units = 0;
    SQLLEN limit = buffer_length > 0 ? buffer_length / 2 : -1;
    while ((limit < 0 || units < limit) && (bytes[2 * units] | bytes[2 * units + 1]) != 0) ++units;
    *out = units * 2;
    return true;
  }
  const char* text = static_cast<const char*>(data);
  *out = buffer_length > 0 ? static_cast<SQLLEN>(strnlen(text, static_cast<size_t>(buffer_length)))
                           : static_cast<SQLLEN>(std::strlen(text));
  return true;
}

// The value of parameter `number` in row `set`; null with the failure in `error`.
QuillValue* load_one(QuillStmt* stmt, const DescRecord* app, DescRecord* imp,
                     const ParamTarget& target, SQLULEN set, ParamError* error) {
  int number = target.number;
  QuillDesc* apd = stmt->apd;
  const SQLLEN* indicator = element_at(app->indicator_ptr, apd, set, sizeof(SQLLEN));
  const SQLLEN* length = element_at(app->octet_length_ptr, apd, set, sizeof(SQLLEN));
  if (param_asks_data_at_exec(indicator ? indicator : length)) {
    // Given at execution (asked for with the first set): the same value serves every row.
    if (!imp->value) {
      param_fail_general(error, "Parameter not bound");
      return nullptr;
    }
    if (!param_pieces_finish(stmt, app, imp, number, error)) return nullptr;
    if (imp->value->long_buffer) rewind_long_buffer(imp->value->long_buffer);
    return imp->value;
  }
  MemPool* pool = param_pool(stmt);
  QuillValue* value = pool ? NewValue(pool, 0) : nullptr;
  if (!value) {
    param_fail(error, "HY001", "Memory allocation error");
    return nullptr;
  }
  ParamInput input;
  input.c_type = param_resolve_c_type(app->concise_type, imp->concise_type);
  input.is_null = indicator && read_length(indicator) == SQL_NULL_DATA;
  bool ok = true;
  if (!input.is_null) {
    SQLLEN fixed = param_c_type_size(input.c_type);
    // Text and binary arrays bound column-wise step by the buffer length, which must be known.
    if (fixed == 0 && set > 0 && apd->bind_type == 0 && app->octet_length <= 0) {
      release_value(pool, value);
      param_fail(error, "HY090", "Invalid string or buffer length");
      return nullptr;
    }
    input.data = element_at(static_cast<const char*>(app->data_ptr), apd, set,
                            fixed > 0 ? fixed : app->octet_length);
    if (!input.data) {
      ok = param_fail(error, "HY009", "Invalid use of null pointer");
    } else if (fixed == 0) {
      ok = byte_length(input.data, input.c_type, length, app->octet_length, &input.length, error);
    }
  }
  if (ok) ok = param_convert(input, target, value, error);
  if (!ok) {
    release_value(pool, value);
    return nullptr;
  }
  if (value->long_buffer) {
    ListNode* list = ListAppend(value, stmt->params_long_values, pool);
    if (!list) {
      release_value(pool, value);
      param_fail(error, "HY001", "Memory allocation error");
      return nullptr;
    }
    stmt->params_long_values = list;
  }
  return value;
}

void post_failure(QuillStmt* stmt, const ParamError& error, bool as_warning, SQLLEN row) {
  if (as_warning)
    post_call_warning(stmt->errors, error.sqlstate, "%s", error.message.c_str());
  else
    post_call_error(stmt->errors, error.sqlstate, "%s", error.message.c_str());
  if (row > 0) {
    ListNode* last = ListLast(stmt->errors->records);
    if (auto* record = last ? static_cast<DiagRecord*>(ListData(last)) : nullptr)
      record->row_number = row;
  }
}

}  // namespace

bool param_asks_data_at_exec(const SQLLEN* indicator) {
  if (!indicator) return false;
  SQLLEN n = read_length(indicator);
  return n == SQL_DATA_AT_EXEC || n <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

MemPool* param_pool(QuillStmt* stmt) {
  if (!stmt->params_pool) stmt->params_pool = quill_mem_alloc_handle(stmt->pool);
  return stmt->params_pool;
}

const char* param_work_dir(QuillStmt* stmt) {
  return stmt->dbc ? get_attribute_value(&stmt->dbc->attributes, "work_dir_path") : nullptr;
}

ParamTarget param_target_of(QuillStmt* stmt, const DescRecord* imp, int number) {
  ParamTarget target;
  target.sql_type = imp->concise_type;
  target.column_size = imp->length;
  target.precision = imp->precision;
  target.scale = imp->scale;
  target.work_dir = param_work_dir(stmt);
  target.number = number;
  return target;
}

int param_values_next_needing_data(QuillStmt* stmt, int after) {
  for (int number = after + 1; number <= stmt->parameter_count; ++number) {
    DescRecord* app = desc_record(stmt->apd, number, false);
    DescRecord* imp = desc_record(stmt->ipd, number, false);
    if (!is_bound(app, imp)) {
      post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR, "Parameter not bound");
      return -1;
    }
    const SQLLEN* indicator = element_at(app->indicator_ptr, stmt->apd, 0, sizeof(SQLLEN));
    if (!indicator) indicator = element_at(app->octet_length_ptr, stmt->apd, 0, sizeof(SQLLEN));
    if (param_asks_data_at_exec(indicator) && !imp->value) return number;
  }
  return 0;
}

bool param_values_begin_data(QuillStmt* stmt, int number, SQLPOINTER* token) {
  DescRecord* app = desc_record(stmt->apd, number, false);
  DescRecord* imp = desc_record(stmt->ipd, number, false);
  if (!app || !imp) {
    post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR, "Parameter not bound");
    return false;
  }
  MemPool* pool = param_pool(stmt);
  QuillValue* value = pool ? NewValue(pool, 0) : nullptr;
  if (!value) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return false;
  }
  value->indicator = PARAM_NO_PIECE;
  imp->value = value;
  imp->value_pending = true;
  if (token) *token = app->data_ptr;
  return true;
}

bool param_values_load(QuillStmt* stmt, SQLULEN sets, ParamLoad* load) {
  int count = stmt->parameter_count;
  std::vector<ParamTarget> targets;
  for (int number = 1; number <= count; ++number) {
    DescRecord* imp = desc_record(stmt->ipd, number, false);
    if (!is_bound(desc_record(stmt->apd, number, false), imp)) {
      post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR, "Parameter not bound");
      return false;
    }
    targets.push_back(param_target_of(stmt, imp, number));
  }
  MemPool* pool = param_pool(stmt);
  auto* values = pool ? static_cast<QuillValue**>(quill_mem_alloc(
                            pool, sizeof(QuillValue*) * sets * static_cast<SQLULEN>(count)))
                      : nullptr;
  if (!values) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return false;
  }
  std::memset(values, 0, sizeof(QuillValue*) * sets * static_cast<SQLULEN>(count));
  const SQLUSMALLINT* operations = stmt->apd->array_status_ptr;
  SQLULEN attempted = 0;
  for (SQLULEN set = 0; set < sets; ++set) {
    if (operations && operations[set] == SQL_PARAM_IGNORE) continue;
    ++attempted;
    for (int number = 1; number <= count; ++number) {
      ParamError error;
      QuillValue* value =
          load_one(stmt, desc_record(stmt->apd, number, false),
                   desc_record(stmt->ipd, number, false), targets[number - 1], set, &error);
      if (!value) {
        load->failures.push_back(ParamRowFailure{set, error});
        break;
      }
      values[set * static_cast<SQLULEN>(count) + static_cast<SQLULEN>(number - 1)] = value;
    }
  }
  load->values = values;
  load->operations = operations;
  if (load->failures.empty()) return true;
  if (sets == 1) {
    post_failure(stmt, load->failures.front().error, false, 0);
    return false;
  }
  SQLUSMALLINT* status = stmt->ipd->array_status_ptr;
  if (load->failures.size() == attempted) {
    // No set is left to run: the call fails with every row's diagnostic.
    for (SQLULEN set = 0; status && set < sets; ++set) status[set] = SQL_PARAM_UNUSED;
    for (const ParamRowFailure& failure : load->failures) {
      if (status) status[failure.set] = SQL_PARAM_ERROR;
      post_failure(stmt, failure.error, false, static_cast<SQLLEN>(failure.set + 1));
    }
    if (stmt->ipd->rows_processed_ptr) *stmt->ipd->rows_processed_ptr = sets;
    return false;
  }
  // The engine skips the failed sets as if the application had asked it to.
  auto* skip = static_cast<SQLUSMALLINT*>(quill_mem_alloc(pool, sizeof(SQLUSMALLINT) * sets));
  if (!skip) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return false;
  }
  for (SQLULEN set = 0; set < sets; ++set)
    skip[set] = operations ? operations[set] : SQL_PARAM_PROCEED;
  for (const ParamRowFailure& failure : load->failures) skip[failure.set] = SQL_PARAM_IGNORE;
  load->operations = skip;
  return true;
}

int param_values_report(QuillStmt* stmt, const ParamLoad& load, int rc) {
  if (load.failures.empty()) return rc;
  SQLUSMALLINT* status = stmt->ipd->array_status_ptr;
  for (const ParamRowFailure& failure : load.failures) {
    if (status) status[failure.set] = SQL_PARAM_ERROR;
    post_failure(stmt, failure.error, true, static_cast<SQLLEN>(failure.set + 1));
  }
  return rc == 0 ? 1 : rc;
}

void param_values_release(QuillStmt* stmt) {
  for (int number = 1; number < desc_capacity(stmt->ipd); ++number) {
    DescRecord* imp = desc_record(stmt->ipd, number, false);
    if (!imp) continue;
    if (imp->value && stmt->params_pool) release_value(stmt->params_pool, imp->value);
    imp->value = nullptr;
    imp->value_pending = false;
  }
  for (ListNode* at = stmt->params_long_values; at; at = at->next)
    release_value(stmt->params_pool, static_cast<QuillValue*>(ListData(at)));
  stmt->params_long_values = nullptr;
  quill_mem_release_handle(stmt->params_pool);
  stmt->params_pool = nullptr;
}
