// Locating and calling the driver from the setup library: the driver is the
// "Driver" of the odbcinst.ini section whose "Setup" is this very library, so
// Test works whatever the section is called; the loaded library is kept for
// the process so that later tests reuse it.
#include "setup/driver_call.h"

#include <dlfcn.h>
#include <odbcinst.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <vector>

#include "setup/dsn_form.h"
#include "support/config.h"

namespace {

using DriverTest = int (*)(const char* record, char* message, int size);

constexpr int kPathSize = 1024;
constexpr int kSectionsSize = 65536;
constexpr int kMessageSize = 1024;

std::mutex g_mutex;
std::map<std::string, DriverTest> g_driver_tests;  // by library path; guarded by g_mutex

std::string driver_value(const std::string& section, const char* key) {
  char value[kPathSize] = {0};
  SQLGetPrivateProfileString(section.c_str(), key, "", value, kPathSize, "ODBCINST.INI");
  value[kPathSize - 1] = '\0';
  return value;
}

std::vector<std::string> driver_sections() {
  std::vector<char> names(kSectionsSize, '\0');
  SQLGetPrivateProfileString(nullptr, nullptr, "", names.data(), kSectionsSize, "ODBCINST.INI");
  names[kSectionsSize - 1] = '\0';
  names[kSectionsSize - 2] = '\0';
  std::vector<std::string> sections;
  for (const char* p = names.data(); *p; p += sections.back().size() + 1) sections.emplace_back(p);
  return sections;
}

// The file this library was loaded from ("" when the loader cannot say).
std::string own_path() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&own_path), &info) || !info.dli_fname) return "";
  return info.dli_fname;
}

std::string base_name(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True when the "Setup" value `setup` names the file at `own` (same file, or the same base name
// when the value is a bare name the loader searches for).
bool names_this_library(const std::string& setup, const std::string& own) {
  if (setup.empty() || own.empty()) return false;
  if (setup.find('/') == std::string::npos) return setup == base_name(own);
  struct stat a {};
  struct stat b {};
  return stat(setup.c_str(), &a) == 0 && stat(own.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

bool file_exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

}  // namespace

std::string driver_section(const std::string& hint) {
  std::string own = own_path();
  for (const std::string& section : driver_sections())
    if (names_this_library(driver_value(section, "Setup"), own) &&
        !driver_value(section, "Driver").empty())
      return section;
  if (!hint.empty() && !driver_value(hint, "Driver").empty()) return hint;
  if (!driver_value(kDriverName, "Driver").empty()) return kDriverName;
  return "";
}

int call_driver_test(const std::string& section, const PromptRecord* record, std::string* message) {
  std::string path = section.empty() ? "" : driver_value(section, "Driver");
  if (path.empty()) {
    *message =
        "No driver is registered in odbcinst.ini with this setup library as its Setup; "
        "register the driver (odbcinst -i -d) and try again.";
    return DRIVER_TEST_UNAVAILABLE;
  }
  DriverTest test = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    auto known = g_driver_tests.find(path);
    if (known != g_driver_tests.end()) {
      test = known->second;
    } else if (void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      test = reinterpret_cast<DriverTest>(dlsym(library, "driver_test"));
      if (test)
        g_driver_tests.emplace(path, test);
      else
        dlclose(library);
    }
  }
  if (!test) {
    *message = "The driver " + path + " of odbcinst.ini section [" + section +
               "] could not be loaded; check its Driver= path.";
    return DRIVER_TEST_UNAVAILABLE;
  }
  char text[kMessageSize] = {0};
  int outcome = test(reinterpret_cast<const char*>(record), text, kMessageSize);
  text[kMessageSize - 1] = '\0';
  message->assign(text);
  return outcome;
}

std::string help_directory(const std::string& section) {
  ConfigHandle* config = open_registry();
  if (!config) return "";
  std::string key = "SOFTWARE\\" + (section.empty() ? std::string(kDriverName) : section) +
                    "\\Configuration\\System\\Default";
  char directory[kPathSize] = {0};
  std::string answer;
  if (set_config(config, key.c_str()) == 0 &&
      get_default(config, "help_dir", directory, kPathSize) > 0)
    answer = directory;
  close_registry(config);
  return answer;
}

std::string documentation_path() {
  for (const char* candidate : {QUILL_INSTALLED_README, QUILL_SOURCE_README})
    if (file_exists(candidate)) return candidate;
  return "";
}
