// Configuration handles over unixODBC's ini store (odbc.ini and odbcinst.ini).
#include "support/config.h"

#include <odbcinst.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

struct ConfigHandle {
  std::mutex mutex;            // guards the fields below; the handle is shared by connections
  std::string section;         // odbcinst.ini section of the driver, "" until set_config
  std::string prefix;          // key prefix from the key path ("" or "a.b.")
  IniReader reader = nullptr;  // asked first by get_default, or null
  void* context = nullptr;     // handed to `reader`
  std::string dsn;             // data source of the connection being set up, "" when none
};

namespace {

// unixODBC values are at most 1000 bytes (INI_MAX_PROPERTY_VALUE); this buffer is
// larger, so a value always arrives whole and NUL-terminated.
constexpr int kIniBufferSize = 4096;

// odbcinst keeps process-wide state (its error stack, its cache); one call at a time
// from this module.
std::mutex g_odbcinst_mutex;

// Counter that makes a default unique while the ini files are being edited.
unsigned long long g_lookup_serial = 0;

// The files odbcinst reads, located the way it locates them.
std::vector<std::string> ini_files() {
  std::vector<std::string> files;
  const char* sys = std::getenv("ODBCSYSINI");
  std::string sys_dir = sys && *sys ? sys : "/etc";
  files.push_back(sys_dir + "/odbc.ini");
  const char* inst = std::getenv("ODBCINSTINI");
  files.push_back(sys_dir + "/" + (inst && *inst ? inst : "odbcinst.ini"));
  const char* user = std::getenv("ODBCINI");
  const char* home = std::getenv("HOME");
  if (user && *user) {
    files.push_back(user);
  } else {
    passwd entry;
    passwd* found = nullptr;
    char text[4096];
    if (getpwuid_r(getuid(), &entry, text, sizeof text, &found) == 0 && found && found->pw_dir)
      files.push_back(std::string(found->pw_dir) + "/.odbc.ini");
  }
  if (home && *home) files.push_back(std::string(home) + "/.odbcinst.ini");
  return files;
}

// The default handed to unixODBC. It serves two ends:
//  - unixODBC copies the default into the buffer when the entry is missing (and for
//    odbcinst.ini returns 0 either way), so a private text tells absent from empty;
//  - unixODBC caches answers for 20 seconds keyed by section, entry and default, so the
//    default carries a fingerprint of the ini files (inode, size, modification time):
//    an edited file gives a new default and a fresh read. While a file was modified in
//    the last two seconds (timestamps are coarse) every read gets a unique default.
std::string absent_marker() {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  auto mix = [&hash](uint64_t value) {
    for (int i = 0; i < 8; ++i) {
      hash ^= (value >> (8 * i)) & 0xFF;
      hash *= 1099511628211ull;
    }
  };
  bool recently_modified = false;
  time_t now = time(nullptr);
  for (const std::string& file : ini_files()) {
    struct stat info;
    if (stat(file.c_str(), &info) != 0) {
      mix(0);
      continue;
    }
    mix(info.st_ino);
    mix(static_cast<uint64_t>(info.st_size));
    mix(static_cast<uint64_t>(info.st_mtim.tv_sec));
    mix(static_cast<uint64_t>(info.st_mtim.tv_nsec));
    if (info.st_mtim.tv_sec >= now - 2) recently_modified = true;
  }
  if (recently_modified) mix(++g_lookup_serial);
  char marker[48];
  std::snprintf(marker, sizeof marker, "\x01quillrt:absent:%016llx\x01",
                static_cast<unsigned long long>(hash));
  return marker;
}

// Reads `key` of `section` from `file` ("ODBC.INI" or "ODBCINST.INI"). True when
// the entry exists; its value goes to `out`.
bool read_ini(const char* section, const char* key, const char* file, std::string* out) {
  if (!section || !*section || !key || !*key) return false;
  std::vector<char> buffer(kIniBufferSize, '\0');
  std::string absent;
  {
    std::lock_guard<std::mutex> guard(g_odbcinst_mutex);
    absent = absent_marker();
    SQLGetPrivateProfileString(section, key, absent.c_str(), buffer.data(), kIniBufferSize, file);
  }
  buffer[kIniBufferSize - 1] = '\0';
  if (absent == buffer.data()) return false;
  out->assign(buffer.data());
  return true;
}

// Copies `value` into `buffer` of `size` bytes, cutting at a UTF-8 character
// boundary; returns the number of bytes stored.
int store(const std::string& value, char* buffer, int size) {
  size_t n = value.size();
  if (n > static_cast<size_t>(size - 1)) {
    n = static_cast<size_t>(size - 1);
    while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

// Registry-style key or path: '\' and '/' separate components.
std::vector<std::string> split_path(const char* path) {
  std::vector<std::string> parts;
  std::string current;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += *p;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

bool same(const std::string& a, const char* b) {
  return strcasecmp(a.c_str(), b) == 0;
}

// "sqi\count" -> "sqi.count"
std::string ini_key(const char* key) {
  std::string out;
  for (const std::string& part : split_path(key)) {
    if (!out.empty()) out += '.';
    out += part;
  }
  return out;
}

bool builtin_default(const char* key, std::string* out) {
  if (strcasecmp(key, "work_dir_path") == 0) {
    const char* tmp = std::getenv("TMPDIR");
    out->assign(tmp && *tmp ? tmp : "/tmp");
    return true;
  }
  if (strcasecmp(key, "work_mem_size") == 0 || strcasecmp(key, "work_dir_size") == 0) {
    out->assign("0");
    return true;
  }
  return false;
}

}  // namespace

ConfigHandle* open_registry() {
  return new (std::nothrow) ConfigHandle;
}

void close_registry(ConfigHandle* handle) {
  delete handle;
}

int set_config(ConfigHandle* handle, const char* key_path) try {
  if (!handle || !key_path) return -1;
  std::vector<std::string> parts = split_path(key_path);
  size_t i = 0;
  if (i < parts.size() && same(parts[i], "Software")) {
    ++i;
    if (i + 1 < parts.size() && same(parts[i], "ODBC") && same(parts[i + 1], "ODBCINST.INI"))
      i += 2;
  }
  if (i >= parts.size()) return -1;
  std::string section = parts[i++];
  if (i < parts.size() && same(parts[i], "Configuration")) ++i;
  std::string prefix;
  for (; i < parts.size(); ++i) prefix += parts[i] + ".";
  std::lock_guard<std::mutex> guard(handle->mutex);
  handle->section = std::move(section);
  handle->prefix = std::move(prefix);
  return 0;
} catch (...) {  // out of memory
  return -1;
}

void set_ini_function(ConfigHandle* handle, IniReader reader, void* context) {
  if (!handle) return;
  std::lock_guard<std::mutex> guard(handle->mutex);
  handle->reader = reader;
  handle->context = reader ? context : nullptr;
}

void set_dsn(ConfigHandle* handle, const char* dsn) {
  if (!handle) return;
  std::lock_guard<std::mutex> guard(handle->mutex);
  try {
    handle->dsn.assign(dsn ? dsn : "");
  } catch (...) {  // out of memory: no DSN rather than a wrong one
    handle->dsn.clear();
  }
}

int get_profile_string(const char* dsn, const char* key, const char* default_value, char* buffer,
                       int size) try {
  if (!buffer || size < 1) return -1;
  std::string value;
  if (!read_ini(dsn, key, "ODBC.INI", &value)) value.assign(default_value ? default_value : "");
  return store(value, buffer, size);
} catch (...) {  // out of memory
  buffer[0] = '\0';
  return -1;
}

namespace {

// The search of get_default once the reader, context and data source are settled.
int look_up(const std::string& section, const std::string& prefix, IniReader reader, void* context,
            const std::string& dsn, const char* key, char* buffer, int size) {
  if (reader) {
    buffer[0] = '\0';
    int found = reader(context, key, buffer, size);
    buffer[size - 1] = '\0';
    if (found >= 0 && buffer[0] != '\0') return static_cast<int>(std::strlen(buffer));
    buffer[0] = '\0';
  }

  std::string value;
  std::string name = ini_key(key);
  if (!dsn.empty() && read_ini(dsn.c_str(), name.c_str(), "ODBC.INI", &value) && !value.empty())
    return store(value, buffer, size);
  if (!section.empty() &&
      read_ini(section.c_str(), (prefix + name).c_str(), "ODBCINST.INI", &value) && !value.empty())
    return store(value, buffer, size);
  if (builtin_default(key, &value)) return store(value, buffer, size);
  return -1;
}

}  // namespace

int get_default(ConfigHandle* handle, const char* key, char* buffer, int size) try {
  if (!buffer || size < 1) return -1;
  buffer[0] = '\0';
  if (!key || !*key) return -1;

  IniReader reader = nullptr;
  void* context = nullptr;
  std::string dsn, section, prefix;
  if (handle) {
    // Copied out so that the reader and odbcinst run without the handle's lock.
    std::lock_guard<std::mutex> guard(handle->mutex);
    reader = handle->reader;
    context = handle->context;
    dsn = handle->dsn;
    section = handle->section;
    prefix = handle->prefix;
  }
  return look_up(section, prefix, reader, context, dsn, key, buffer, size);
} catch (...) {  // out of memory
  buffer[0] = '\0';
  return -1;
}

int get_default_for(ConfigHandle* handle, IniReader reader, void* context, const char* dsn,
                    const char* key, char* buffer, int size) try {
  if (!buffer || size < 1) return -1;
  buffer[0] = '\0';
  if (!key || !*key) return -1;

  std::string section, prefix;
  if (handle) {
    std::lock_guard<std::mutex> guard(handle->mutex);
    section = handle->section;
    prefix = handle->prefix;
  }
  return look_up(section, prefix, reader, context, dsn ? dsn : "", key, buffer, size);
} catch (...) {  // out of memory
  buffer[0] = '\0';
  return -1;
}
