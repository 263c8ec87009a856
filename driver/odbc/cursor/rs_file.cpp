// The result-set file: a private file in the work directory holding the records
// that left the memory cache. It is created exclusively and unlinked at once, so
// it disappears when closed or when the process dies.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "driver/odbc/cursor/cursor_internal.h"
#include "driver/odbc/handles/frame.h"

namespace {

// Names the files of this process apart from each other.
std::atomic<unsigned> g_rs_file_counter{0};

int post_file_error(ErrorHeader* errors, const char* what, int code) {
  char text[512];
  std::snprintf(text, sizeof text, "Error in %s (%d) %s", what, code, std::strerror(code));
  post_call_error(errors, "HY000", MSG_GENERAL_ERROR, text);
  return -1;
}

// Moves to `offset`; 0, or -1 after posting the seek error.
int seek_to(RsFile* file, ErrorHeader* errors, uint64_t offset) {
  if (file->fd < 0) return post_file_error(errors, "rs_file_seek", EBADF);
  if (lseek(file->fd, static_cast<off_t>(offset), SEEK_SET) < 0)
    return post_file_error(errors, "rs_file_seek", errno);
  return 0;
}

}  // namespace

int rs_file_open(RsFile* file, ErrorHeader* errors) {
  int code = 0;
  // A name left behind by another process with the same number is skipped, not reused.
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned counter = g_rs_file_counter.fetch_add(1, std::memory_order_relaxed);
    int n = std::snprintf(file->name, sizeof file->name, "%s/rs%05x%05x%08x.tmp", file->directory,
                          static_cast<unsigned>(getpid()), counter,
                          static_cast<unsigned>(std::time(nullptr)));
    if (n < 0 || static_cast<size_t>(n) >= sizeof file->name) {
      code = ENAMETOOLONG;
      break;
    }
    int fd = open(file->name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      unlink(file->name);
      file->fd = fd;
      return 0;
    }
    code = errno;
    if (code != EEXIST) break;
  }
  file->name[0] = '\0';
  return post_file_error(errors, "rs_open_file", code);
}

int rs_file_write(RsFile* file, ErrorHeader* errors, uint64_t offset, const void* data,
                  size_t size) {
  if (seek_to(file, errors, offset) < 0) return -1;
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    ssize_t written = write(file->fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return post_file_error(errors, "rs_file_write", written < 0 ? errno : ENOSPC);
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

int rs_file_read(RsFile* file, ErrorHeader* errors, uint64_t offset, void* data, size_t size) {
  if (seek_to(file, errors, offset) < 0) return -1;
  auto* bytes = static_cast<unsigned char*>(data);
  while (size > 0) {
    ssize_t got = read(file->fd, bytes, size);
    if (got < 0 && errno == EINTR) continue;
    // A short file means a record was never written: report it as an I/O error.
    if (got <= 0) return post_file_error(errors, "rs_file_read", got < 0 ? errno : EIO);
    bytes += got;
    size -= static_cast<size_t>(got);
  }
  return 0;
}

void rs_file_close(RsFile* file) {
  if (file->fd >= 0) close(file->fd);
  file->fd = -1;
}
