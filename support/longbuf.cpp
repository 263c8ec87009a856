// Long buffers: in-memory content that spills to an anonymous work file.
#include "support/longbuf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

std::atomic<unsigned> g_long_file_counter{0};

// Work directory from the setting, else $TMPDIR, else /tmp; one trailing slash dropped.
bool choose_directory(const char* setting, char* out, size_t size) {
  const char* dir = (setting && *setting) ? setting : std::getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  size_t length = std::strlen(dir);
  if (length > 1 && dir[length - 1] == '/') --length;
  if (length + 1 > size) return false;
  std::memcpy(out, dir, length);
  out[length] = '\0';
  return true;
}

bool write_all(int fd, const unsigned char* data, size_t size, uint64_t offset) {
  while (size > 0) {
    ssize_t written = pwrite(fd, data, size, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
    offset += static_cast<uint64_t>(written);
  }
  return true;
}

// Creates the private file: exclusive, owner-only, and unlinked at once.
int open_spill_file(const char* directory) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    char path[4096];
    unsigned counter = g_long_file_counter.fetch_add(1, std::memory_order_relaxed);
    int n = std::snprintf(path, sizeof path, "%s/long%05x%05x%08x.tmp", directory,
                          static_cast<unsigned>(getpid()) & 0xFFFFFu, counter & 0xFFFFFu,
                          static_cast<unsigned>(std::time(nullptr)));
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) return -1;
    int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      unlink(path);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

bool spill(LongBuffer* buffer) {
  int fd = open_spill_file(buffer->directory);
  if (fd < 0) return false;
  if (buffer->length > 0 && !write_all(fd, buffer->memory, buffer->length, 0)) {
    close(fd);
    return false;
  }
  buffer->fd = fd;
  quill_mem_free(buffer->pool, buffer->memory);
  buffer->memory = nullptr;
  buffer->memory_capacity = 0;
  return true;
}

}  // namespace

LongBuffer* allocate_long_buffer(MemPool* pool, int table, int column, const char* work_directory,
                                 int sql_type) {
  if (!pool) return nullptr;
  char directory[4096];
  if (!choose_directory(work_directory, directory, sizeof directory)) return nullptr;
  struct stat info {};
  if (stat(directory, &info) != 0 || !S_ISDIR(info.st_mode) || access(directory, W_OK | X_OK) != 0)
    return nullptr;
  auto* buffer = static_cast<LongBuffer*>(quill_mem_alloc(pool, sizeof(LongBuffer)));
  if (!buffer) return nullptr;
  buffer->directory = quill_mem_strdup(pool, directory);
  if (!buffer->directory) {
    quill_mem_free(pool, buffer);
    return nullptr;
  }
  buffer->pool = pool;
  buffer->table = table;
  buffer->column = column;
  buffer->sql_type = sql_type;
  buffer->fd = -1;
  return buffer;
}

void free_long_buffer(LongBuffer* buffer) {
  if (!buffer) return;
  if (buffer->fd >= 0) close(buffer->fd);
  quill_mem_free(buffer->pool, buffer->memory);
  quill_mem_free(buffer->pool, buffer->directory);
  quill_mem_free(buffer->pool, buffer);
}

int append_to_long_buffer(LongBuffer* buffer, const void* data, size_t size) {
  if (!buffer || (!data && size > 0)) return -1;
  buffer->is_null = false;
  if (size == 0) return 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  buffer->counted = false;
  if (buffer->fd < 0 && buffer->length + size > LONG_BUFFER_MEMORY_LIMIT && !spill(buffer))
    return -1;
  if (buffer->fd >= 0) {
    if (!write_all(buffer->fd, bytes, size, buffer->length)) return -1;
  } else {
    size_t needed = buffer->length + size;
    if (needed > buffer->memory_capacity) {
      size_t capacity = buffer->memory_capacity ? buffer->memory_capacity : 256;
      while (capacity < needed) capacity *= 2;
      void* grown = quill_mem_realloc(buffer->pool, buffer->memory, capacity);
      if (!grown) return -1;
      buffer->memory = static_cast<unsigned char*>(grown);
      buffer->memory_capacity = capacity;
    }
    std::memcpy(buffer->memory + buffer->length, bytes, size);
  }
  buffer->length += size;
  return 0;
}

void reset_long_buffer(LongBuffer* buffer) {
  if (!buffer) return;
  buffer->fill = nullptr;  // new content replaces any deferred read
  if (buffer->fd >= 0) {
    close(buffer->fd);
    buffer->fd = -1;
  }
  buffer->length = 0;
  buffer->read_position = 0;
  buffer->is_null = false;
  buffer->counted = false;
}

void set_long_buffer_null(LongBuffer* buffer) {
  if (!buffer) return;
  reset_long_buffer(buffer);
  buffer->is_null = true;
}

void defer_long_buffer(LongBuffer* buffer, LongFill fill, void* source, int item) {
  if (!buffer) return;
  reset_long_buffer(buffer);
  buffer->source = source;
  buffer->source_item = item;
  buffer->fill = fill;
}

int settle_long_buffer(LongBuffer* buffer) {
  if (!buffer || !buffer->fill) return 0;
  LongFill fill = buffer->fill;
  buffer->fill = nullptr;  // the reader appends through the ordinary entry points
  if (fill(buffer) == 0) return 0;
  reset_long_buffer(buffer);
  return -1;
}

bool long_buffer_is_null(const LongBuffer* buffer) {
  if (!buffer) return true;
  settle_long_buffer(const_cast<LongBuffer*>(buffer));
  return buffer->is_null;
}

int rewind_long_buffer(LongBuffer* buffer) {
  if (!buffer) return -1;
  if (settle_long_buffer(buffer) < 0) return -1;
  buffer->read_position = 0;
  return 0;
}

int64_t read_long_buffer_at(const LongBuffer* buffer, uint64_t offset, void* out, size_t size) {
  if (!buffer || (!out && size > 0)) return -1;
  // Reading a deferred value runs its read first (the record is logically unchanged).
  if (settle_long_buffer(const_cast<LongBuffer*>(buffer)) < 0) return -1;
  if (buffer->is_null || offset >= buffer->length) return 0;
  uint64_t available = buffer->length - offset;
  size_t wanted = available < size ? static_cast<size_t>(available) : size;
  if (buffer->fd < 0) {
    std::memcpy(out, buffer->memory + offset, wanted);
    return static_cast<int64_t>(wanted);
  }
  size_t done = 0;
  auto* target = static_cast<unsigned char*>(out);
  while (done < wanted) {
    ssize_t got =
        pread(buffer->fd, target + done, wanted - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return -1;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

int extract_from_long_buffer(LongBuffer* buffer, void* out, size_t size, SQLLEN* length,
                             int flags) {
  (void)flags;
  if (!buffer) return -1;
  if (settle_long_buffer(buffer) < 0) return -1;
  if (buffer->is_null) {
    if (length) *length = SQL_NULL_DATA;
    return 0;
  }
  if (buffer->read_position >= buffer->length &&
      !(buffer->length == 0 && buffer->read_position == 0)) {
    if (length) *length = 0;
    return LONG_BUFFER_NO_DATA;
  }
  int64_t got = read_long_buffer_at(buffer, buffer->read_position, out, size);
  if (got < 0) return -1;
  buffer->read_position += static_cast<uint64_t>(got);
  if (length) *length = static_cast<SQLLEN>(got);
  if (buffer->length == 0) buffer->read_position = 1;  // an empty value is delivered once
  return buffer->read_position < buffer->length ? LONG_BUFFER_MORE : 0;
}

int advance_long_buffer(LongBuffer* buffer, uint64_t position) {
  if (!buffer || settle_long_buffer(buffer) < 0) return -1;
  if (buffer->is_null) return 0;  // a NULL value has no position to move
  // An empty value's one piece moves the position to 1, as extract_from_long_buffer does.
  uint64_t end = buffer->length > 0 ? buffer->length : 1;
  uint64_t target = position < end ? position : end;
  if (target > buffer->read_position) buffer->read_position = target;
  return 0;
}

void remember_long_buffer_count(LongBuffer* buffer, uint64_t from, uint64_t to, uint64_t units) {
  if (!buffer) return;
  buffer->counted_from = from;
  buffer->counted_to = to;
  buffer->counted_units = units;
  buffer->counted = true;
}

bool recall_long_buffer_count(const LongBuffer* buffer, uint64_t from, uint64_t to,
                              uint64_t* units) {
  if (!buffer || !buffer->counted || buffer->fill || buffer->counted_from != from ||
      buffer->counted_to != to)
    return false;
  *units = buffer->counted_units;
  return true;
}

int64_t long_buffer_length(const LongBuffer* buffer) {
  if (!buffer || long_buffer_is_null(buffer)) return -1;
  return static_cast<int64_t>(buffer->length);
}

bool long_buffer_is_spilled(const LongBuffer* buffer) {
  if (buffer) settle_long_buffer(const_cast<LongBuffer*>(buffer));
  return buffer && buffer->fd >= 0;
}
