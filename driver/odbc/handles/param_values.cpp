// Parameter values: data-at-execution bookkeeping and the loading of bound
// application buffers (every C type an application binds for input) into
// engine values, honouring bind offsets and row- or column-wise arrays.
#include "driver/odbc/handles/param_values.h"

#include <cstring>
#include <string>
#include <type_traits>

#include "driver/odbc/convert/convert_result.h"
#include "driver/odbc/handles/desc_records.h"
#include "driver/odbc/handles/frame.h"
#include "support/unicode.h"

namespace {

bool asks_data_at_exec(const SQLLEN* indicator) {
  return indicator && (*indicator == SQL_DATA_AT_EXEC || *indicator <= SQL_LEN_DATA_AT_EXEC_OFFSET);
}

// Address of element `set` of a bound array whose elements take `element` bytes.
template <typename T>
T* element_at(T* base, QuillDesc* apd, SQLULEN set, SQLLEN element) {
  if (!base) return nullptr;
  auto* bytes = reinterpret_cast<char*>(const_cast<std::remove_const_t<T>*>(base));
  bytes += apd->bind_type > 0 ? static_cast<SQLLEN>(set * apd->bind_type)
                              : static_cast<SQLLEN>(set) * element;
  if (apd->bind_offset_ptr) bytes += *apd->bind_offset_ptr;
  return reinterpret_cast<T*>(bytes);
}

// The application type, SQL_C_DEFAULT resolved from the parameter's SQL type.
SQLSMALLINT effective_c_type(const DescRecord* app, const DescRecord* imp) {
  SQLSMALLINT c_type = app->concise_type;
  if (c_type != SQL_C_DEFAULT) return c_type;
  switch (imp ? imp->concise_type : SQL_VARCHAR) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
      return SQL_C_SLONG;
    case SQL_BIGINT:
      return SQL_C_SBIGINT;
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_REAL:
      return SQL_C_DOUBLE;
    case SQL_BIT:
      return SQL_C_BIT;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return SQL_C_BINARY;
    case SQL_TYPE_DATE:
      return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME:
      return SQL_C_TYPE_TIME;
    case SQL_TYPE_TIMESTAMP:
      return SQL_C_TYPE_TIMESTAMP;
    default:
      return SQL_C_CHAR;
  }
}

// Bytes of text or binary data available at `data` given the length indicator.
SQLLEN data_length(const void* data, const SQLLEN* length, SQLLEN buffer_length, bool wide) {
  if (length && *length >= 0) return *length;
  if (length && *length != SQL_NTS) return buffer_length;
  if (wide) {
    const auto* units = static_cast<const SQLWCHAR*>(data);
    SQLLEN n = 0;
    while (units[n]) ++n;
    return n * static_cast<SQLLEN>(sizeof(SQLWCHAR));
  }
  return static_cast<SQLLEN>(std::strlen(static_cast<const char*>(data)));
}

// Loads one application value into `value`. false after posting.
bool load_value(QuillStmt* stmt, QuillValue* value, SQLSMALLINT c_type, const void* data,
                const SQLLEN* length, SQLLEN buffer_length) {
  switch (c_type) {
    case SQL_C_CHAR: {
      SQLLEN n = data_length(data, length, buffer_length, false);
      return set_value_to_text(value, static_cast<const char*>(data), static_cast<size_t>(n)) == 0;
    }
    case SQL_C_WCHAR: {
      SQLLEN n = data_length(data, length, buffer_length, true);
      std::string text;
      utf16_to_utf8(static_cast<const SQLWCHAR*>(data), n / static_cast<SQLLEN>(sizeof(SQLWCHAR)),
                    text);
      return set_value_to_text(value, text.data(), text.size()) == 0;
    }
    case SQL_C_BINARY: {
      SQLLEN n = data_length(data, length, buffer_length, false);
      return set_value_to_binary(value, data, static_cast<size_t>(n)) == 0;
    }
    case SQL_C_LONG:
    case SQL_C_SLONG:
      set_value_to_int(value, *static_cast<const SQLINTEGER*>(data));
      return true;
    case SQL_C_ULONG:
      set_value_to_bigint(value, *static_cast<const SQLUINTEGER*>(data));
      return true;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      set_value_to_int(value, *static_cast<const SQLSMALLINT*>(data));
      return true;
    case SQL_C_USHORT:
      set_value_to_int(value, *static_cast<const SQLUSMALLINT*>(data));
      return true;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      set_value_to_int(value, *static_cast<const SQLSCHAR*>(data));
      return true;
    case SQL_C_UTINYINT:
    case SQL_C_BIT:
      set_value_to_int(value, *static_cast<const SQLCHAR*>(data));
      return true;
    case SQL_C_SBIGINT:
      set_value_to_bigint(value, *static_cast<const SQLBIGINT*>(data));
      return true;
    case SQL_C_UBIGINT: {
      SQLUBIGINT n = *static_cast<const SQLUBIGINT*>(data);
      if (n > static_cast<SQLUBIGINT>(INT64_MAX)) {
        post_call_error(stmt->errors, "22003", "Numeric value out of range");
        return false;
      }
      set_value_to_bigint(value, static_cast<int64_t>(n));
      return true;
    }
    case SQL_C_DOUBLE:
      set_value_to_double(value, *static_cast<const SQLDOUBLE*>(data));
      return true;
    case SQL_C_FLOAT:
      set_value_to_double(value, *static_cast<const SQLREAL*>(data));
      return true;
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE:
      set_value_to_date(value, static_cast<const SQL_DATE_STRUCT*>(data));
      return true;
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME:
      set_value_to_time(value, static_cast<const SQL_TIME_STRUCT*>(data));
      return true;
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP:
      set_value_to_timestamp(value, static_cast<const SQL_TIMESTAMP_STRUCT*>(data));
      return true;
    case SQL_C_NUMERIC:
      set_value_to_numeric(value, static_cast<const SQL_NUMERIC_STRUCT*>(data));
      return true;
    default:
      post_call_error(stmt->errors, "HY003", "Invalid application buffer type");
      return false;
  }
}

// The pool of this execution's parameter values, made on first use.
MemPool* params_pool(QuillStmt* stmt) {
  if (!stmt->params_pool) stmt->params_pool = quill_mem_alloc_handle(stmt->pool);
  return stmt->params_pool;
}

}  // namespace

int param_values_next_needing_data(QuillStmt* stmt, int after) {
  for (int number = after + 1; number <= stmt->parameter_count; ++number) {
    DescRecord* app = desc_record(stmt->apd, number, false);
    DescRecord* imp = desc_record(stmt->ipd, number, false);
    if (!app || !imp || (!app->data_ptr && !app->indicator_ptr && !app->octet_length_ptr)) {
      post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR, "Parameter not bound");
      return -1;
    }
    SQLLEN* indicator = element_at(app->indicator_ptr, stmt->apd, 0, sizeof(SQLLEN));
    if (asks_data_at_exec(indicator) && !imp->value) return number;
  }
  return 0;
}

SQLPOINTER param_values_token(QuillStmt* stmt, int number) {
  DescRecord* app = desc_record(stmt->apd, number, false);
  return app ? app->data_ptr : nullptr;
}

SQLRETURN param_values_append(QuillStmt* stmt, int number, SQLPOINTER data, SQLLEN length) {
  DescRecord* app = desc_record(stmt->apd, number, false);
  DescRecord* imp = desc_record(stmt->ipd, number, false);
  if (!app || !imp)
    return post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR, "Parameter not bound");
  if (!imp->value) {
    imp->value = params_pool(stmt) ? NewValue(params_pool(stmt), 0) : nullptr;
    if (!imp->value) return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    set_value_null(imp->value, VALUE_CHARACTER);
    imp->value->indicator = -2;  // no piece yet
  }
  QuillValue* value = imp->value;
  if (length == SQL_NULL_DATA) {
    set_value_null(value, VALUE_CHARACTER);
    return SQL_SUCCESS;
  }
  if (!data && length != 0) return post_call_error(stmt->errors, "HY009", MSG_NULL_POINTER);
  if (length < 0 && length != SQL_NTS)
    return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  SQLSMALLINT c_type = effective_c_type(app, imp);
  bool first = value->indicator == -2 || is_value_null(value);
  bool piecewise = c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_BINARY;
  if (!piecewise) {
    if (!first)
      return post_call_error(stmt->errors, "HY019",
                             "Non-character and non-binary data sent in pieces");
    return load_value(stmt, value, c_type, data, &length, app->octet_length) ? SQL_SUCCESS
                                                                             : SQL_ERROR;
  }
  QuillValue* piece = NewValue(params_pool(stmt), 0);
  if (!piece) return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  SQLLEN given = length;
  bool ok = load_value(stmt, piece, c_type, data, &given, length < 0 ? 0 : length);
  if (ok) {
    std::string joined;
    if (!first)
      joined.assign(value->bytes.data ? value->bytes.data : "",
                    static_cast<size_t>(value->bytes.length));
    joined.append(piece->bytes.data ? piece->bytes.data : "",
                  static_cast<size_t>(piece->bytes.length));
    ok = (c_type == SQL_C_BINARY ? set_value_to_binary(value, joined.data(), joined.size())
                                 : set_value_to_text(value, joined.data(), joined.size())) == 0;
    if (!ok) post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  }
  release_value(piece->pool, piece);
  return ok ? SQL_SUCCESS : SQL_ERROR;
}

const QuillValue* const* param_values_load(QuillStmt* stmt, SQLULEN sets) {
  int count = stmt->parameter_count;
  MemPool* pool = params_pool(stmt);
  auto* values =
      !pool ? nullptr
            : static_cast<QuillValue**>(quill_mem_alloc(pool, sizeof(QuillValue*) * sets * count));
  if (!values) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return nullptr;
  }
  for (int number = 1; number <= count; ++number) {
    DescRecord* app = desc_record(stmt->apd, number, false);
    DescRecord* imp = desc_record(stmt->ipd, number, false);
    if (!app || !imp || (!app->data_ptr && !app->indicator_ptr && !app->octet_length_ptr)) {
      post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR, "Parameter not bound");
      return nullptr;
    }
    SQLSMALLINT c_type = effective_c_type(app, imp);
    SQLLEN element = result_element_size(c_type, app->octet_length);
    for (SQLULEN set = 0; set < sets; ++set) {
      QuillValue*& value = values[set * count + (number - 1)];
      SQLLEN* indicator = element_at(app->indicator_ptr, stmt->apd, set, sizeof(SQLLEN));
      SQLLEN* length = element_at(app->octet_length_ptr, stmt->apd, set, sizeof(SQLLEN));
      if (imp->value && set == 0) {
        value = imp->value;
        continue;
      }
      value = NewValue(pool, 0);
      if (!value) {
        post_call_error(stmt->errors, "HY001", MSG_MEMORY);
        return nullptr;
      }
      if (indicator && *indicator == SQL_NULL_DATA) {
        set_value_null(value,
                       sql_to_value_type(imp->concise_type ? imp->concise_type : SQL_VARCHAR));
        continue;
      }
      const void* data =
          element_at(static_cast<const char*>(app->data_ptr), stmt->apd, set, element);
      if (!data) {
        post_call_error(stmt->errors, "HY009", MSG_NULL_POINTER);
        return nullptr;
      }
      if (!load_value(stmt, value, c_type, data, length ? length : indicator, app->octet_length))
        return nullptr;
    }
  }
  return values;
}

void param_values_release(QuillStmt* stmt) {
  for (int number = 1; number <= stmt->parameter_count; ++number) {
    DescRecord* imp = desc_record(stmt->ipd, number, false);
    if (imp) {
      imp->value = nullptr;
      imp->value_pending = false;
    }
  }
  quill_mem_release_handle(stmt->params_pool);
  stmt->params_pool = nullptr;
}
