// Choosing and installing the backends of a connection's data-access context, including the
// backend module that test programs name to serve generated tables in Ethereum's place.
#include "driver/odbc/connect/backend_list.h"

#include <dlfcn.h>

#include <cstdlib>

#include "driver/backends/builtin_backends.h"
#include "driver/eth/eth_sqi.h"
#include "driver/odbc/catalog/info_schema_catalog.h"
#include "driver/odbc/handles/handles.h"
#include "support/log.h"

namespace {

// A backend module named by QUILLDRV_BACKEND_MODULE takes the Ethereum backend's place: a
// shared library exporting `quill_backend_operations`. Test programs use it to serve generated
// tables through the real Driver Manager; it is looked up once per process.
const SqiOperations* module_operations() {
  static const SqiOperations* const operations = []() -> const SqiOperations* {
    const char* path = std::getenv("QUILLDRV_BACKEND_MODULE");
    if (!path || !path[0]) return nullptr;
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      log_message("dal", __LINE__, LOG_LEVEL_FAILURE, "backend module %s: %s", path, dlerror());
      return nullptr;
    }
    using Entry = const SqiOperations* (*)();
    auto entry = reinterpret_cast<Entry>(dlsym(library, "quill_backend_operations"));
    return entry ? entry() : nullptr;
  }();
  return operations;
}

}  // namespace

Dal* dal_create(QuillDbc* connection, ErrorHeader* errors) {
  info_schema_install_catalog(odbc_info_schema_catalog());
  const SqiOperations* module = module_operations();
  const SqiOperations* const backends[DAL_ENTRY_COUNT] = {
      view_store_operations(), info_schema_operations(), module ? module : eth_operations()};
  bool odbc2 = connection && connection->env && connection->env->odbc_version == SQL_OV_ODBC2;
  return dal_new(connection, odbc2 ? 2 : 3, errors, backends);
}
