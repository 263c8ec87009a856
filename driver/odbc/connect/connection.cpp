// Connection establishment and release.
#include "driver/odbc/connect/connection.h"

#include <dlfcn.h>
#include <odbcinst.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/dal/dal.h"
#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "support/prompt_record.h"
#include "driver/sql/exec_replication.h"
#include "support/strbuf.h"

namespace {

constexpr const char* kDriverSection = "Quillmoor Ethereum ODBC Driver";
constexpr const char* kSetupLibrary = "libquilldrvS.so";
constexpr int kValueSize = 1024;
constexpr int kOutConnectionMax = 4095;

// When a key read from the data source is kept in the attribute set.
enum class Keep { Always, NonEmpty, NotStartingWithZero, NotExactlyZero };

struct DsnKey {
  const char* key;            // attribute key
  const char* default_value;  // used when the data source lacks it
  Keep keep;                  // rule for keeping the value
};

const DsnKey kDsnKeys[] = {
    {"Description", "", Keep::Always},
    {"api_key", "", Keep::Always},
    {"uri", "", Keep::Always},
    {"relational_opt", "0", Keep::NotStartingWithZero},
    {"in_expansion", "0", Keep::NotStartingWithZero},
    {"work_dir_path", "", Keep::NonEmpty},
    {"work_mem_size", "0", Keep::Always},
    {"work_dir_size", "0", Keep::Always},
    {"catalog_schema_check", "0", Keep::NotExactlyZero},
};

bool keeps(Keep rule, const char* value) {
  switch (rule) {
    case Keep::Always:
      return true;
    case Keep::NonEmpty:
      return value[0] != '\0';
    case Keep::NotStartingWithZero:
      return value[0] != '\0' && value[0] != '0';
    case Keep::NotExactlyZero:
      return value[0] != '\0' && std::strcmp(value, "0") != 0;
  }
  return false;
}

// Adds every data-source key the connection string did not give.
void read_data_source(QuillDbc* dbc, const char* dsn) {
  for (const DsnKey& k : kDsnKeys) {
    if (get_attribute_value(&dbc->attributes, k.key)) continue;
    char value[kValueSize];
    get_profile_string(dsn, k.key, k.default_value, value, sizeof value);
    if (keeps(k.keep, value)) append_pair(&dbc->attributes, k.key, value, dbc->pool);
  }
}

bool engine_flag(const QuillDbc* dbc, const char* key) {
  const char* value = get_attribute_value(&dbc->attributes, key);
  return value && std::strcmp(value, "0") != 0;
}

const char* attribute_or_empty(const QuillDbc* dbc, const char* key) {
  const char* value = get_attribute_value(&dbc->attributes, key);
  return value ? value : "";
}

// A remote node is reachable once its endpoint is known; an API key is optional.
bool details_complete(const QuillDbc* dbc) {
  return attribute_or_empty(dbc, "uri")[0] != '\0';
}

void copy_field(char* field, const char* value) {
  std::snprintf(field, PROMPT_FIELD, "%s", value);
}

void fill_prompt(const QuillDbc* dbc, PromptRecord* record) {
  *record = PromptRecord{};
  copy_field(record->dsn, attribute_or_empty(dbc, "DSN"));
  copy_field(record->proxy, attribute_or_empty(dbc, "PROXY"));
  copy_field(record->proxy_user, attribute_or_empty(dbc, "PROXY_USER"));
  copy_field(record->proxy_password, attribute_or_empty(dbc, "PROXY_PASS"));
  copy_field(record->log_file, attribute_or_empty(dbc, "LOGFILE"));
  const char* logging = get_attribute_value(&dbc->attributes, "LOGGING");
  record->logging = logging && std::strcmp(logging, "0") != 0 ? 1 : 0;
  copy_field(record->uri, attribute_or_empty(dbc, "URI"));
  copy_field(record->api_key, attribute_or_empty(dbc, "API_KEY"));
}

void take_prompt(QuillDbc* dbc, PromptRecord* record) {
  const std::pair<const char*, char*> fields[] = {
      {"DSN", record->dsn},
      {"API_KEY", record->api_key},
      {"URI", record->uri},
      {"PROXY", record->proxy},
      {"PROXY_USER", record->proxy_user},
      {"PROXY_PASS", record->proxy_password},
      {"LogFile", record->log_file},
  };
  for (auto [key, value] : fields) {
    value[PROMPT_FIELD - 1] = '\0';
    if (value[0]) append_pair(&dbc->attributes, key, value, dbc->pool);
  }
  if (record->logging) append_pair(&dbc->attributes, "Logging", "yes", dbc->pool);
}

// Loads the setup library from the directory registered for the driver, else by name.
void* load_setup_library() {
  char setup[513] = "";
  driver_setting("Setup", setup, sizeof setup);
  std::string path = setup;
  size_t slash = path.rfind('/');
  if (slash != std::string::npos) {
    path = path.substr(0, slash + 1) + kSetupLibrary;
    if (void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return library;
  }
  return dlopen(kSetupLibrary, RTLD_NOW | RTLD_LOCAL);
}

// Shows the setup library's dialog. 0 when the user accepted it; -1 otherwise (the
// attempt goes on with what it has).
int show_prompt(QuillDbc* dbc, void* window) {
  void* library = load_setup_library();
  auto complete =
      library ? reinterpret_cast<DsnCompleteInfo>(dlsym(library, "dsn_complete_info")) : nullptr;
  if (!complete) {
    if (library) dlclose(library);
    QUILL_LOG("driverconnect", LOG_LEVEL_FAILURE, "Unable to load setup library (%s)",
              kSetupLibrary);
    post_call_warning(dbc->errors, "01000", "Unable to load setup library (%s)", kSetupLibrary);
    return -1;
  }
  PromptRecord record;
  fill_prompt(dbc, &record);
  int answer = complete(dbc, window, &record);
  dlclose(library);
  if (answer != 0) return -1;
  take_prompt(dbc, &record);
  return 0;
}

// The prompting passes: SQL_NO_DATA when the user left the details incomplete.
SQLRETURN prompt_for_details(QuillDbc* dbc, void* window, SQLUSMALLINT completion) {
  if (completion == SQL_DRIVER_NOPROMPT || !window) {
    if (!details_complete(dbc))
      post_call_error(dbc->errors, "HY000", MSG_GENERAL_ERROR,
                      "not all connection details supplied");
    return SQL_SUCCESS;
  }
  if (details_complete(dbc) && completion != SQL_DRIVER_PROMPT) return SQL_SUCCESS;
  if (show_prompt(dbc, window) != 0) return SQL_SUCCESS;
  return details_complete(dbc) ? SQL_SUCCESS : SQL_NO_DATA;
}

// The work directory: the connection's `work_dir_path`, else the driver default.
std::string work_directory(QuillDbc* dbc) {
  const char* value = get_attribute_value(&dbc->attributes, "work_dir_path");
  char buffer[129] = "";
  if (value && value[0]) {
    std::snprintf(buffer, sizeof buffer, "%s", value);
  } else if (dbc->env->config) {
    connection_default(dbc, "work_dir_path", buffer, sizeof buffer);
  }
  std::string dir = buffer;
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

// The schema fileset lives in the work directory, which must exist and be writable.
bool open_schema_fileset(QuillDbc* dbc) {
  std::string dir = work_directory(dbc);
  if (dir.empty() || access(dir.c_str(), W_OK | X_OK) != 0) {
    const char* given = get_attribute_value(&dbc->attributes, "work_dir_path");
    std::string shown = given && given[0] ? std::string(given) + "/" : "";
    post_call_error(dbc->errors, "HY000", MSG_GENERAL_ERROR,
                    ("Unable to open or create a schema fileset in (" + shown + ")").c_str());
    return false;
  }
  dbc->schema_fileset = quill_mem_strdup(dbc->pool, dir.c_str());
  return dbc->schema_fileset != nullptr;
}

SQLRETURN copy_out_string(QuillDbc* dbc, char* out, SQLSMALLINT out_size, SQLSMALLINT* out_length) {
  char text[kOutConnectionMax + 1];
  generate_connection_string(&dbc->attributes, text, sizeof text);
  if (copy_str_buffer(out, out_size, out_length, text) != 0)
    return post_call_warning(dbc->errors, "01004", MSG_TRUNCATED);
  return SQL_SUCCESS;
}

bool valid_length(const char* text, SQLSMALLINT length) {
  return text ? (length >= 0 || length == SQL_NTS) : true;
}

SQLRETURN parse_into(QuillDbc* dbc, ConnAttrSet* set, const char* in, SQLSMALLINT in_length) {
  if (!valid_length(in, in_length)) return post_call_error(dbc->errors, "HY090", MSG_BAD_LENGTH);
  if (in && parse_connection_string(in, nullptr, nullptr, in_length, set) != 0)
    return post_call_error(dbc->errors, "HY000", MSG_GENERAL_ERROR,
                           "Invalid connection string syntax");
  return SQL_SUCCESS;
}

}  // namespace

int driver_setting(const char* key, char* buffer, int size) {
  buffer[0] = '\0';
  SQLGetPrivateProfileString(kDriverSection, key, "", buffer, size, "ODBCINST.INI");
  buffer[size - 1] = '\0';
  return static_cast<int>(std::strlen(buffer));
}

SQLRETURN driver_connect(QuillDbc* dbc, void* window, const char* in, SQLSMALLINT in_length,
                         char* out, SQLSMALLINT out_size, SQLSMALLINT* out_length,
                         SQLUSMALLINT completion) {
  if (out && out_size < 0) return post_call_error(dbc->errors, "HY090", MSG_BAD_LENGTH);
  // Each attempt starts from its own string, so a retry after a failure is not held to
  // the values of the failed one.
  clear_con_str(&dbc->attributes);
  if (parse_into(dbc, &dbc->attributes, in, in_length) != SQL_SUCCESS) return SQL_ERROR;
  const ConnAttrSet* set = &dbc->attributes;
  if (get_attribute_value(set, "SAVEFILE") && !get_attribute_value(set, "DRIVER") &&
      !get_attribute_value(set, "FILEDSN"))
    return post_call_error(dbc->errors, "01S09", "Invalid keyword");
  const char* dsn = get_attribute_value(set, "DSN");
  if (dsn) read_data_source(dbc, dsn);
  if (prompt_for_details(dbc, window, completion) == SQL_NO_DATA) return SQL_NO_DATA;
  pass_timeouts(dbc);
  int rc = DALOpen(dbc->dal, &dbc->attributes, window);
  if (rc != SQI_OK && rc != SQI_INFO) {
    SetReturnCode(dbc->errors, -1);
    return SQL_ERROR;
  }
  dbc->relational_opt = engine_flag(dbc, "relational_opt");
  dbc->in_expansion = engine_flag(dbc, "in_expansion");
  dbc->catalog_schema_check = engine_flag(dbc, "catalog_schema_check");
  if (!open_schema_fileset(dbc)) {
    DALDisconnect(dbc->dal);
    return SQL_ERROR;
  }
  SQLRETURN result = rc == SQI_INFO ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  if (out && copy_out_string(dbc, out, out_size, out_length) != SQL_SUCCESS)
    result = SQL_SUCCESS_WITH_INFO;
  else if (!out && out_length)
    *out_length =
        static_cast<SQLSMALLINT>(generate_connection_string(&dbc->attributes, nullptr, 0));
  if (GetReturnCode(dbc->errors) != 0) result = SQL_SUCCESS_WITH_INFO;
  dbc_set_state(dbc, dbc_connected_state(dbc));
  return result;
}

SQLRETURN browse_connect(QuillDbc* dbc, const char* in, SQLSMALLINT in_length, char* out,
                         SQLSMALLINT out_size, SQLSMALLINT* out_length) {
  if (out && out_size < 0) return post_call_error(dbc->errors, "HY090", MSG_BAD_LENGTH);
  MemPool* pool = quill_mem_alloc_handle(dbc->pool);
  if (!pool) return post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  ConnAttrSet fresh;
  init_con_str(&fresh, pool);
  if (parse_into(dbc, &fresh, in, in_length) != SQL_SUCCESS) {
    quill_mem_release_handle(pool);
    return SQL_ERROR;
  }
  ConnAttrSet* set = &dbc->attributes;
  if (!get_attribute_value(set, "DSN") && !get_attribute_value(set, "DRIVER")) {
    const char* dsn = get_attribute_value(&fresh, "DSN");
    const char* driver = get_attribute_value(&fresh, "DRIVER");
    if (dsn)
      append_pair(set, "DSN", dsn, dbc->pool);
    else if (driver)
      append_pair(set, "DRIVER", driver, dbc->pool);
    else {
      quill_mem_release_handle(pool);
      return SQL_ERROR;
    }
  }
  for (const char* key : {"SQI", "PWD", "UID"}) {
    const char* value = get_attribute_value(&fresh, key);
    if (value && !get_attribute_value(set, key)) append_pair(set, key, value, dbc->pool);
  }
  quill_mem_release_handle(pool);

  std::string asked;
  if (!get_attribute_value(set, "PWD")) asked += "PWD:Password=?;";
  if (!get_attribute_value(set, "UID")) asked += "UID:UserID=?;";
  if (!get_attribute_value(set, "SQI")) {
    char count_text[32] = "";
    driver_setting("sqi.count", count_text, sizeof count_text);
    int count = std::atoi(count_text);
    if (count < 1) {
      asked += "SQI:SQITarget=?;";
    } else {
      asked += "SQI:SQItarget={";
      bool first = true;
      for (int i = 1; i <= count; ++i) {
        char key[32], value[kValueSize];
        std::snprintf(key, sizeof key, "sqi.sqi%d", i);
        if (driver_setting(key, value, sizeof value) == 0) continue;
        if (!first) asked += ",";
        asked += value;
        first = false;
      }
      asked += "};";
    }
  }
  if (!asked.empty()) {
    if (copy_str_buffer(out, out_size, out_length, asked.c_str()) != 0)
      post_call_warning(dbc->errors, "01004", MSG_TRUNCATED);
    dbc_set_state(dbc, DBC_BROWSING);
    return SQL_NEED_DATA;
  }
  if (out && out_size > 0) out[0] = '\0';
  if (out_length) *out_length = 0;
  pass_timeouts(dbc);
  int rc = DALOpen(dbc->dal, set, nullptr);
  if (rc == SQI_ERROR || (rc != SQI_OK && rc != SQI_INFO)) {
    dbc_set_state(dbc, DBC_ALLOCATED);
    SetReturnCode(dbc->errors, -1);
    return SQL_ERROR;
  }
  dbc_set_state(dbc, dbc_connected_state(dbc));
  return rc == SQI_INFO ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

void pass_timeouts(QuillDbc* dbc) {
  if (!dbc->dal) return;
  auto seconds = [](SQLULEN n) { return n > 86400u * 365 ? 86400 * 365 : static_cast<int>(n); };
  DALSetConnectionTimeouts(dbc->dal, seconds(dbc->attrs.login_timeout),
                           seconds(dbc->attrs.connection_timeout));
}

SQLRETURN disconnect_connection(QuillDbc* dbc) {
  while (dbc->statements) free_stmt(dbc->statements);
  // The entries were resolved against this connection's tables and settings; a later
  // connection of the handle reads its own file.
  replication_free(dbc->replication_entries);
  dbc->replication_entries = nullptr;
  DALDisconnect(dbc->dal);
  if (dbc->schema_fileset) {
    quill_mem_free(dbc->pool, dbc->schema_fileset);
    dbc->schema_fileset = nullptr;
  }
  clear_con_str(&dbc->attributes);
  dbc_set_state(dbc, DBC_DISCONNECTED);
  return SQL_SUCCESS;
}
