// Work files of the sort: the memory budget, the names "sort<pid><counter><suffix>" in the
// work directory, exclusive creation with immediate unlinking (so nothing outlives the
// descriptor), and whole-buffer positioned reads and writes.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/sql/sort_internal.h"

namespace {

// The first work_mem_size of at least 1 seen by any sort; 0 until then.
std::atomic<long> remembered_work_mem{0};
// Rises by one for every work-file name made in the process.
std::atomic<unsigned> work_file_counter{0};

constexpr size_t DEFAULT_SORT_BUDGET = 0x1E00000;  // 30 MB
constexpr size_t MEGABYTE = 1048576;
// Attempts at a fresh name when a stale file of the same name is in the way.
constexpr int CREATE_ATTEMPTS = 16;

// The work directory: the context's, else $TMPDIR, else /tmp; one trailing '/' removed.
std::string work_directory(const char* configured) {
  std::string dir = configured && *configured ? configured : "";
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    dir = tmp && *tmp ? tmp : "/tmp";
  }
  if (!dir.empty() && dir.back() == '/') dir.pop_back();
  return dir;
}

// Formats the next name in the already resolved directory `dir`.
void format_name(const std::string& dir, const char* suffix, char* buffer, size_t size) {
  unsigned counter = work_file_counter.fetch_add(1);
  std::snprintf(buffer, size, "%s/sort%05x%05x%s", dir.c_str(), static_cast<unsigned>(getpid()),
                counter, suffix ? suffix : "");
}

}  // namespace

size_t sort_memory_budget(long work_mem_size) {
  long megabytes = remembered_work_mem.load();
  if (megabytes < 1 && work_mem_size >= 1) {
    long expected = 0;
    // The first sort to remember wins; a racing one uses the winner's value.
    if (remembered_work_mem.compare_exchange_strong(expected, work_mem_size))
      megabytes = work_mem_size;
    else
      megabytes = expected;
  }
  if (megabytes < 1) return DEFAULT_SORT_BUDGET;
  if (static_cast<unsigned long>(megabytes) > SIZE_MAX / MEGABYTE) return SIZE_MAX;
  return static_cast<size_t>(megabytes) * MEGABYTE;
}

size_t sort_slots_per_run(long work_mem_size, size_t slot_size) {
  if (slot_size == 0) return 0;
  size_t slots = sort_memory_budget(work_mem_size) / slot_size;
  return slots > 0 ? slots : 1;
}

void sort_work_file_name(const char* dir, const char* suffix, char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  format_name(work_directory(dir), suffix, buffer, size);
}

int sort_create_work_file(const SortContext& context, const char* suffix) {
  std::string dir = work_directory(context.work_dir);
  std::string name(dir.size() + 64, '\0');
  for (int attempt = 0; attempt < CREATE_ATTEMPTS; ++attempt) {
    format_name(dir, suffix, name.data(), name.size());
    int fd = open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    if (unlink(name.c_str()) != 0) {
      int error = errno;
      close(fd);
      errno = error;
      return -1;
    }
    return fd;
  }
  errno = EEXIST;
  return -1;
}

int sort_check_work_directory(const SortContext& context) {
  std::string dir = work_directory(context.work_dir);
  return access(dir.empty() ? "/" : dir.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

int sort_write_at(int fd, const void* data, size_t size, int64_t offset) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    ssize_t written = pwrite(fd, bytes, size, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes += written;
    size -= static_cast<size_t>(written);
    offset += written;
  }
  return 0;
}

int sort_read_at(int fd, void* data, size_t size, int64_t offset) {
  auto* bytes = static_cast<unsigned char*>(data);
  while (size > 0) {
    ssize_t got = pread(fd, bytes, size, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return EIO;
    bytes += got;
    size -= static_cast<size_t>(got);
    offset += got;
  }
  return 0;
}
