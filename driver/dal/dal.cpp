// Opening, closing and disconnecting the backends of a connection, the service
// callback through which backends post their diagnostics, and transactions.
#include "driver/dal/dal.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

// The seed of a backend's attribute list.
constexpr const char* kSeed = "SQITarget1=Dummy;";

// Connection keys handed to a data-source backend, in order. The last three steer the
// data-access layer itself and are taken out again before the backend sees the list.
const char* const kBackendKeys[] = {
    "uri",
    "pwd",
    "uid",
    "user",
    "password",
    "token",
    "logging",
    "logfile",
    "domain",
    "entropy",
    "cert",
    "accept_unverified",  // lets a local node's self-signed certificate through
    "query_timeout",
    "network_timeout",  // seconds an exchange may take when no other time-out bounds it
    "flush_on_update",
    "proxy",
    "filter_local",
    "proxy_user",
    "proxy_pass",
    "max_num",
    "api_key",
    "disguise_long",
    "typed_values",             // quantities as BIGINT, NUMERIC(38,0) and TIMESTAMP
    "max_calls",                // calls one statement may make (lists, ranges)
    "batch_size",               // calls per JSON-RPC batch (1: none)
    "max_connections",          // requests of one statement in flight at once
    "max_requests_per_second",  // pace of the requests ("": unlimited)
    "connect_probe",            // "no": connect without calling the endpoint
    "id_length",
    "string_length",
    "array_length",
    "object_length",
    "block_length",
    "cache_timeout",
    "TARGETDSN",
    "DISABLEPT",
    "LKNAME",
};

void post_general(Dal* dal, const char* text) {
  SetReturnCode(dal->errors, -1);
  PostError(dal->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY000", "General error: %s",
            text);
}

bool rename_key(ConnAttrSet* set, const char* from, const char* to) {
  const char* value = get_attribute_value(set, from);
  if (!value) return true;
  std::string copy = value;
  remove_pair(set, from);
  return append_pair(set, to, copy.c_str(), set->pool) == 0;
}

// Builds the attribute list a data-source backend connects with.
bool build_backend_attributes(Dal* dal, DalEntry* entry, const ConnAttrSet* connection,
                              ConnAttrSet* out) {
  if (parse_connection_string(kSeed, nullptr, nullptr, SQL_NTS, out) != 0) {
    post_general(dal, "DALOpen parse");
    return false;
  }
  for (const char* key : kBackendKeys) {
    if (get_attribute_value(out, key)) continue;
    const char* value = get_attribute_value(connection, key);
    if (value && append_pair(out, key, value, out->pool) != 0) return false;
  }
  if (!rename_key(out, "TARGETDSN", "DSN")) return false;
  if (const char* value = get_attribute_value(out, "DISABLEPT")) {
    entry->passthrough_disabled = std::strcmp(value, "0") != 0;
    remove_pair(out, "DISABLEPT");
  } else {
    entry->passthrough_disabled = 0;
  }
  if (const char* value = get_attribute_value(out, "LKNAME")) {
    std::snprintf(entry->link, sizeof entry->link, "%s", value);
    remove_pair(out, "LKNAME");
  } else {
    entry->link[0] = '\0';
  }
  return true;
}

// Carries the keys a backend completed into the connection's own attributes, with the
// backend's DSN shown as TARGETDSN.
void merge_backend_output(ConnAttrSet* connection, char* output, int size) {
  MemPool* pool = quill_mem_alloc_handle(connection->pool);
  if (!pool) return;
  ConnAttrSet parsed;
  init_con_str(&parsed, pool);
  if (parse_connection_string(output, nullptr, nullptr, SQL_NTS, &parsed) == 0) {
    rename_key(&parsed, "DSN", "TARGETDSN");
    generate_connection_string(&parsed, output, size);
    for (ListNode* n = parsed.pairs; n; n = ListNext(n)) {
      auto* pair = static_cast<ConnAttrPair*>(ListData(n));
      if (strcasecmp(pair->key, "SQITarget1") != 0)
        append_pair(connection, pair->key, pair->value, connection->pool);
    }
  }
  quill_mem_release_handle(pool);
}

// The service callback every backend receives: posts a backend's diagnostic.
int dal_service(int code, void* parameters) {
  switch (code) {
    case SQI_SERVICE_POST_ERROR: {
      auto* p = static_cast<SqiPostError*>(parameters);
      auto* header = static_cast<ErrorHeader*>(p->target);
      if (!header) return -1;
      bool warning = p->sqlstate && std::strncmp(p->sqlstate, "01", 2) == 0;
      SetReturnCode(header, warning ? 1 : -1);
      PostDalError(header, p->origin, p->native_error, p->sqlstate, p->message);
      return 0;
    }
    default:
      return -1;  // no other request exists
  }
}

}  // namespace

Dal* dal_new(void* connection, int odbc_version, ErrorHeader* errors,
             const SqiOperations* const (&backends)[DAL_ENTRY_COUNT]) {
  auto* dal = new (std::nothrow) Dal{};
  if (!dal) return nullptr;
  dal->connection = connection;
  dal->odbc_version = odbc_version;
  dal->errors = errors;
  for (int i = 0; i < DAL_ENTRY_COUNT; ++i) dal->backends[i] = backends[i];
  return dal;
}

void dal_destroy(Dal* dal) {
  if (!dal) return;
  if (dal->open) DALDisconnect(dal);
  DALClose(dal);
  delete dal;
}

int DALOpen(Dal* dal, ConnAttrSet* attributes, void* window) {
  DALClose(dal);
  dal->count = DAL_ENTRY_COUNT;
  bool info = false;
  const char* dsn = get_attribute_value(attributes, "DSN");
  for (int i = 0; i < DAL_ENTRY_COUNT; ++i) {
    DalEntry* entry = &dal->entries[i];
    *entry = DalEntry{};
    entry->ops = dal->backends[i];
    entry->present = true;
    int rc = entry->ops->alloc_env(dal->errors, &entry->handle, dal_service, dsn);
    if (rc != SQI_OK && rc != SQI_INFO) {
      post_general(dal, "DALOpen failed");
      entry->present = false;
      entry->handle = nullptr;
      DALClose(dal);
      return SQI_ERROR;
    }
    info |= rc == SQI_INFO;
    if (entry->ops->set_option) {
      entry->ops->set_option(entry->handle, SQI_OPTION_ODBC_VERSION, dal->odbc_version);
      entry->ops->set_option(entry->handle, SQI_OPTION_LOGIN_TIMEOUT, dal->login_timeout);
      entry->ops->set_option(entry->handle, SQI_OPTION_CONNECTION_TIMEOUT, dal->connection_timeout);
    }
    MemPool* pool = quill_mem_alloc_handle(attributes->pool);
    if (!pool) {
      DALClose(dal);
      return SQI_ERROR;
    }
    ConnAttrSet backend_attributes;
    init_con_str(&backend_attributes, pool);
    if (i == 0) {
      std::snprintf(entry->link, sizeof entry->link, "%s", DAL_VIEWS_LINK);
    } else if (i == 1) {
      std::snprintf(entry->link, sizeof entry->link, "%s", DAL_INFO_SCHEMA_LINK);
    } else if (!build_backend_attributes(dal, entry, attributes, &backend_attributes)) {
      quill_mem_release_handle(pool);
      DALClose(dal);
      return SQI_ERROR;
    }
    char output[4096] = "";
    rc = entry->ops->connect(entry->handle, &backend_attributes, window, output, 4095);
    quill_mem_release_handle(pool);
    if (rc != SQI_OK && rc != SQI_INFO) {
      DALClose(dal);
      return rc;
    }
    info |= rc == SQI_INFO;
    if (i >= 2 && output[0]) merge_backend_output(attributes, output, sizeof output);
  }
  dal->open = true;
  return info ? SQI_INFO : SQI_OK;
}

void DALSetConnectionTimeouts(Dal* dal, int login_seconds, int connection_seconds) {
  dal->login_timeout = login_seconds;
  dal->connection_timeout = connection_seconds;
  for (int i = 0; i < dal->count; ++i) {
    DalEntry* entry = &dal->entries[i];
    if (!entry->present || !entry->handle || !entry->ops->set_option) continue;
    entry->ops->set_option(entry->handle, SQI_OPTION_LOGIN_TIMEOUT, login_seconds);
    entry->ops->set_option(entry->handle, SQI_OPTION_CONNECTION_TIMEOUT, connection_seconds);
  }
}

void DALClose(Dal* dal) {
  for (int i = 0; i < DAL_ENTRY_COUNT; ++i) {
    DalEntry* entry = &dal->entries[i];
    if (entry->present && entry->handle && entry->ops->free_env)
      entry->ops->free_env(entry->handle);
    *entry = DalEntry{};
  }
  dal->count = 0;
  dal->open = false;
  dal->transaction_open = false;
}

void DALDisconnect(Dal* dal) {
  for (int i = 0; i < DAL_ENTRY_COUNT; ++i) {
    DalEntry* entry = &dal->entries[i];
    if (entry->present && entry->handle && entry->ops->disconnect)
      entry->ops->disconnect(entry->handle);
  }
  DALClose(dal);
}

int DALBeginTransaction(Dal* dal) {
  if (dal->transaction_open) return SQI_OK;
  bool info = false;
  for (int i = 0; i < dal->count; ++i) {
    DalEntry* entry = &dal->entries[i];
    if (!entry->present || !entry->ops->begin_transaction) continue;
    int rc = entry->ops->begin_transaction(dal->errors, entry->handle);
    if (rc == SQI_ERROR) return SQI_ERROR;
    info |= rc == SQI_INFO;
  }
  dal->transaction_open = true;
  return info ? SQI_INFO : SQI_OK;
}

int DALEndTransaction(Dal* dal, int completion) {
  if (!dal->transaction_open) return SQI_OK;
  bool info = false;
  for (int i = 0; i < dal->count; ++i) {
    DalEntry* entry = &dal->entries[i];
    if (!entry->present || !entry->ops->end_transaction) continue;
    int rc = entry->ops->end_transaction(dal->errors, entry->handle, completion);
    if (rc == SQI_ERROR) return SQI_ERROR;
    info |= rc == SQI_INFO;
  }
  dal->transaction_open = false;
  return info ? SQI_INFO : SQI_OK;
}
