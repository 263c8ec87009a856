// Locating and calling the driver from the setup library: the path comes from
// the "Driver" value of the driver's odbcinst.ini section; the loaded library
// is kept for the process so that later tests reuse it.
#include "setup/driver_call.h"

#include <dlfcn.h>
#include <odbcinst.h>

#include <mutex>

#include "setup/dsn_form.h"
#include "support/config.h"

namespace {

using DriverTest = int (*)(const char* record, char* message, int size);

constexpr int kPathSize = 1024;
constexpr int kMessageSize = 1024;
constexpr const char* kDefaultsKey =
    "SOFTWARE\\Quillmoor Ethereum ODBC Driver\\Configuration\\System\\Default";

std::mutex g_mutex;
DriverTest g_driver_test = nullptr;  // guarded by g_mutex

DriverTest find_driver_test() {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (g_driver_test) return g_driver_test;
  char path[kPathSize] = {0};
  SQLGetPrivateProfileString(kDriverName, "Driver", "", path, kPathSize, "ODBCINST.INI");
  path[kPathSize - 1] = '\0';
  if (!path[0]) return nullptr;
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!library) return nullptr;
  g_driver_test = reinterpret_cast<DriverTest>(dlsym(library, "driver_test"));
  if (!g_driver_test) dlclose(library);
  return g_driver_test;
}

}  // namespace

int call_driver_test(const PromptRecord* record, std::string* message) {
  DriverTest test = find_driver_test();
  if (!test) return DRIVER_TEST_UNAVAILABLE;
  char text[kMessageSize] = {0};
  int outcome = test(reinterpret_cast<const char*>(record), text, kMessageSize);
  text[kMessageSize - 1] = '\0';
  message->assign(text);
  return outcome;
}

std::string help_directory() {
  ConfigHandle* config = open_registry();
  if (!config) return "";
  char directory[kPathSize] = {0};
  std::string answer;
  if (set_config(config, kDefaultsKey) == 0 &&
      get_default(config, "help_dir", directory, kPathSize) > 0)
    answer = directory;
  close_registry(config);
  return answer;
}
