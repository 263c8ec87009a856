// Driver trace: lines expanded from the call layer's directives and appended to
// the trace file under one mutex, each flushed as it is written.
#include "support/log.h"

#include <fcntl.h>
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "support/strbuf.h"

std::atomic<bool> g_trace_on{false};

namespace {

constexpr const char* kDriverSection = "Quillmoor Ethereum ODBC Driver";
constexpr size_t kMaxShownText = 256;  // bytes of a %S / %*S text shown before "..."

std::mutex g_trace_mutex;  // guards g_trace_file and every write to it
std::FILE* g_trace_file = nullptr;
std::once_flag g_settings_once;

unsigned long long thread_id() {
#ifdef __linux__
  return static_cast<unsigned long long>(::syscall(SYS_gettid));
#else
  return static_cast<unsigned long long>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
#endif
}

void append_format(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void append_format(std::string& out, const char* fmt, ...) {
  char buf[64];
  va_list args;
  va_start(args, fmt);
  int n = std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  if (n > 0) out.append(buf, static_cast<size_t>(n) < sizeof buf ? n : sizeof buf - 1);
}

void append_pointer(std::string& out, const void* p) {
  if (!p)
    out += "NULL";
  else
    append_format(out, "0x%" PRIxPTR, reinterpret_cast<uintptr_t>(p));
}

// `len` bytes of `text` in double quotes, the first 256 bytes (whole characters) only,
// followed by "..." when more were left out.
void append_quoted(std::string& out, const char* text, size_t len) {
  size_t shown = utf8_truncation_point(text, len, kMaxShownText);
  out += '"';
  out.append(text, shown);
  out += '"';
  if (shown < len) out += "...";
}

// %S: a text and its length (SQL_NTS for NUL-terminated).
void append_text_arg(std::string& out, const char* text, long length) {
  if (!text) {
    out += "NULL";
    return;
  }
  size_t len = 0;
  if (length == SQL_NTS)
    len = std::strlen(text);
  else if (length > 0)
    len = static_cast<size_t>(length);
  append_quoted(out, text, len);
}

const char* return_name(int rc) {
  switch (rc) {
    case SQL_SUCCESS:
      return "SQL_SUCCESS";
    case SQL_SUCCESS_WITH_INFO:
      return "SQL_SUCCESS_WITH_INFO";
    case SQL_STILL_EXECUTING:
      return "SQL_STILL_EXECUTING";
    case SQL_NEED_DATA:
      return "SQL_NEED_DATA";
    case SQL_NO_DATA:
      return "SQL_NO_DATA";
    case SQL_ERROR:
      return "SQL_ERROR";
    case SQL_INVALID_HANDLE:
      return "SQL_INVALID_HANDLE";
    default:
      return nullptr;
  }
}

// Expands `format` with the arguments its directives name (see log.h).
void expand(std::string& out, const char* format, va_list* args) {
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    const char* start = p;
    bool star = p[1] == '*';
    char d = star ? p[2] : p[1];
    if (d == '\0') {  // a lone '%' (or "%*") at the end
      out.append(start);
      return;
    }
    bool known = true;
    if (star) {
      switch (d) {
        case 'h': {
          void** hp = va_arg(*args, void**);
          append_pointer(out, hp ? *hp : nullptr);
          break;
        }
        case 'I': {
          SQLLEN* lp = va_arg(*args, SQLLEN*);
          if (lp)
            append_format(out, "%lld", static_cast<long long>(*lp));
          else
            out += "NULL";
          break;
        }
        case 'p':
          append_pointer(out, va_arg(*args, void*));
          break;
        case 'S': {
          const char* text = va_arg(*args, const char*);
          SQLSMALLINT* lp = va_arg(*args, SQLSMALLINT*);
          if (!text) {
            out += "NULL";
          } else {
            // The length written may exceed what the buffer holds (a truncated result), so
            // the text is read up to its NUL and never beyond 257 bytes; without a usable
            // length the NUL alone ends it.
            bool counted = lp && *lp >= 0;
            size_t want = counted ? static_cast<size_t>(*lp) : SIZE_MAX;
            size_t held = strnlen(text, want < kMaxShownText + 1 ? want : kMaxShownText + 1);
            size_t len = counted ? want : held;
            size_t shown = utf8_truncation_point(text, held, kMaxShownText);
            out += '"';
            out.append(text, shown);
            out += '"';
            if (shown < len) out += "...";
          }
          break;
        }
        default:
          known = false;
      }
      if (known) p += 2;
    } else {
      switch (d) {
        case 'h':
          append_pointer(out, va_arg(*args, void*));
          break;
        case 'i':
        case 'u':
        case 'd':
          append_format(out, "%d", va_arg(*args, int));
          break;
        case 'I':
          append_format(out, "%lld", static_cast<long long>(va_arg(*args, SQLLEN)));
          break;
        case 'U':
          append_format(out, "%llu", static_cast<unsigned long long>(va_arg(*args, SQLULEN)));
          break;
        case 'p':
          append_pointer(out, va_arg(*args, void*));
          break;
        case 's': {
          const char* text = va_arg(*args, const char*);
          out += text ? text : "NULL";
          break;
        }
        case 'S': {
          const char* text = va_arg(*args, const char*);
          int length = va_arg(*args, int);
          append_text_arg(out, text, length);
          break;
        }
        case 'e': {
          int rc = va_arg(*args, int);
          const char* name = return_name(rc);
          if (name)
            out += name;
          else
            append_format(out, "%d", rc);
          break;
        }
        case '%':
          out += '%';
          break;
        default:
          known = false;
      }
      if (known) p += 1;
    }
    if (!known) out += '%';  // unknown directive: shown as written, nothing consumed
  }
}

}  // namespace

int log_open_private_file(const char* path) {
  if (!path || !*path) {
    errno = ENOENT;
    return -1;
  }
  // O_NONBLOCK only for the open itself: a FIFO without a reader then fails at once.
  int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return -1;
  struct stat status {};
  int failure = 0;
  if (::fstat(fd, &status) != 0)
    failure = errno;
  else if (!S_ISREG(status.st_mode) || status.st_nlink > 1)
    failure = EPERM;
  else if ((status.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
    failure = errno;
  else if (int flags = ::fcntl(fd, F_GETFL);
           flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
    failure = errno;
  if (failure != 0) {
    ::close(fd);
    errno = failure;
    return -1;
  }
  return fd;
}

int log_configure(const char* path) {
  std::FILE* file = nullptr;
  if (path && *path) {
    int fd = log_open_private_file(path);
    if (fd >= 0 && !(file = ::fdopen(fd, "a"))) ::close(fd);
  }
  std::lock_guard<std::mutex> lock(g_trace_mutex);
  if (g_trace_file) std::fclose(g_trace_file);
  g_trace_file = file;
  g_trace_on.store(file != nullptr, std::memory_order_relaxed);
  return (path && *path && !file) ? -1 : 0;
}

void log_configure_from_settings() {
  std::call_once(g_settings_once, [] {
    // An environment variable that is set (even to "") wins over odbcinst.ini.
    if (const char* env = std::getenv("QUILLDRV_TRACE_FILE")) {
      log_configure(env);
      return;
    }
    char path[1024] = "";
    SQLGetPrivateProfileString(kDriverSection, "TraceFile", "", path, sizeof path, "ODBCINST.INI");
    path[sizeof path - 1] = '\0';
    if (path[0]) log_configure(path);
  });
}

void vlog_message(const char* unit, int line, int level, const char* format, va_list args) {
  (void)level;  // every level is written while tracing is on
  if (!g_trace_on.load(std::memory_order_relaxed)) return;
  std::string text;
  text.reserve(128);
  append_format(text, "[%ld:%llu] ", static_cast<long>(::getpid()), thread_id());
  text += unit ? unit : "?";
  append_format(text, ":%d ", line);
  va_list copy;
  va_copy(copy, args);
  expand(text, format ? format : "", &copy);
  va_end(copy);
  text += '\n';
  std::lock_guard<std::mutex> lock(g_trace_mutex);
  if (!g_trace_file) return;
  std::fwrite(text.data(), 1, text.size(), g_trace_file);
  std::fflush(g_trace_file);
}

void log_message(const char* unit, int line, int level, const char* format, ...) {
  if (!g_trace_on.load(std::memory_order_relaxed)) return;
  va_list args;
  va_start(args, format);
  vlog_message(unit, line, level, format, args);
  va_end(args);
}
