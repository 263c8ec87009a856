// Log records of the Ethereum backend: resolves the context a record belongs
// to, filters by the log mode, builds the header, writes the record (and byte
// dumps) to the log file or standard error, and holds records in the
// process-wide memory ring until an error record asks for them.
#include "driver/eth/eth_log.h"

#include <strings.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <string>
#include <vector>

#include "driver/eth/eth_context.h"
#include "support/log.h"

namespace {

constexpr size_t kSecretCount = std::extent_v<decltype(EthLogState::secrets)>;
constexpr int kBannerWidth = 100;
constexpr const char* kDumpIndent = "\n          ";

const char* mode_name(int mode) {
  switch (mode) {
    case ETH_LOG_ENTRY:
      return "ENTRY:\t";
    case ETH_LOG_EXIT:
      return "EXIT:\t";
    case ETH_LOG_DETAIL:
      return "DETAIL:\t";
    case ETH_LOG_ERROR:
      return "ERROR:\t";
    case ETH_LOG_PKTDUMP:
      return "PKTDUMP:\t";
    case ETH_LOG_CONTINUATION:
      return "+\t";
    default:
      return "UNKNOWN MODE";
  }
}

// Whether a record of `mode` is written under `log_mode`; continuation records follow DETAIL.
bool passes_filter(int log_mode, int mode) {
  if (mode == ETH_LOG_CONTINUATION) return (log_mode & ETH_LOG_DETAIL) != 0;
  return (log_mode & mode) != 0;
}

long tick_count_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Header, message and secret masking of one record, at most ETH_LOG_RECORD_SIZE - 1 bytes.
std::string build_record(const void* context, bool is_http_context, const EthLogState& state,
                         const char* unit, int line, int mode, bool dump_variant,
                         const char* format, va_list args) {
  char record[ETH_LOG_RECORD_SIZE];
  const char* name = mode_name(mode);
  int header;
  if (mode == ETH_LOG_CONTINUATION && dump_variant)
    header = snprintf(record, sizeof record, "\t\t%s ", name);
  else if (mode == ETH_LOG_CONTINUATION)
    header =
        snprintf(record, sizeof record, "\t\t[TID=%X]%s ", static_cast<unsigned>(gettid()), name);
  else
    header =
        snprintf(record, sizeof record, "QUILLODBC:[TID=%X][TIME=%ld][%s:%d][%p%s]\n\t\t%s ",
                 static_cast<unsigned>(gettid()), tick_count_ms(), unit != nullptr ? unit : "null",
                 line, context, is_http_context ? "(ETHCONTEXT)" : "", name);
  size_t used = header < 0 ? 0 : static_cast<size_t>(header);
  if (used >= sizeof record) used = sizeof record - 1;
  eth_format_masked(record + used, sizeof record - used, state.secrets, kSecretCount, format, args);
  std::string text(record);
  eth_mask_secrets(text, state.secrets, kSecretCount);
  if (text.size() >= ETH_LOG_RECORD_SIZE) text.resize(ETH_LOG_RECORD_SIZE - 1);
  return text;
}

// The bytes of a dump with every secret replaced, so neither column shows it.
std::string masked_bytes(const EthLogState& state, const unsigned char* bytes, size_t count) {
  std::string data(reinterpret_cast<const char*>(bytes), count);
  eth_mask_secrets(data, state.secrets, kSecretCount);
  return data;
}

// Hex and character columns of a byte dump, 16 bytes a line; ends with the last line's
// newline (the record's own newline follows it).
std::string dump_text(const std::string& data) {
  std::string out;
  if (data.empty()) return out;
  out += kDumpIndent;
  std::string characters;
  char hex[8];
  for (size_t i = 0; i < data.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(data[i]);
    snprintf(hex, sizeof hex, "%02X ", byte);
    out += hex;
    characters += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
    if (characters.size() == 16) {
      out += "  ";
      out += characters;
      out += kDumpIndent;
      characters.clear();
    }
  }
  if (!characters.empty()) {
    out.append(3 * (16 - characters.size()), ' ');
    out += "  ";
    out += characters;
    out += "\n";
  }
  return out;
}

struct Destination {
  FILE* file = nullptr;
  bool is_stderr = false;
};

// Opens the log file for appending, readable by its owner only (a symbolic link, a second
// hard link or a non-regular file at its path is refused and the record dropped), or
// standard error without a name.
Destination open_destination(const std::string& base, bool per_thread) {
  if (base.empty()) return {stderr, true};
  std::string name = eth_log_file_name(base, per_thread);
  int fd = log_open_private_file(name.c_str());
  if (fd < 0) return {};
  FILE* file = fdopen(fd, "a");
  if (file == nullptr) {
    close(fd);
    return {};
  }
  return {file, false};
}

void close_destination(Destination& destination) {
  if (destination.is_stderr)
    fflush(destination.file);
  else if (destination.file != nullptr)
    fclose(destination.file);
  destination.file = nullptr;
}

void write_banner(FILE* file, const char* title) {
  std::string stars(kBannerWidth, '*');
  std::string blank = "*" + std::string(kBannerWidth - 2, ' ') + "*";
  std::string middle = title;
  if (middle.size() < kBannerWidth - 1) middle.append(kBannerWidth - 1 - middle.size(), ' ');
  middle += "*";
  for (const std::string* line : {&stars, &blank, &middle, &blank, &stars}) {
    fputs(line->c_str(), file);
    fputc('\n', file);
  }
}

// The process-wide ring of held records. Never destroyed: threads may still log at exit.
struct LogRing {
  std::mutex lock;
  std::vector<std::string> slots;
  size_t read = 0;               // oldest held record
  size_t write = 0;              // next slot to fill
  size_t held = 0;               // records held
  bool has_destination = false;  // the first context's destination has been remembered
  std::string file;              // that context's log file base name
  bool per_thread = false;       // and whether it logs per process and thread
};

LogRing& log_ring() {
  static LogRing* ring = new LogRing;
  return *ring;
}

// Writes the held records oldest first between the banners, then empties the ring.
// Records stay held when the destination cannot be opened.
void dump_ring(LogRing& ring) {
  Destination destination = open_destination(ring.file, ring.per_thread);
  if (destination.file == nullptr) return;
  write_banner(destination.file, "*   Start of log dump");
  for (size_t k = 0; k < ring.held; ++k) {
    std::string& slot = ring.slots[ring.read];
    fputs(slot.c_str(), destination.file);
    fputc('\n', destination.file);
    std::string().swap(slot);
    ring.read = (ring.read + 1) % ETH_LOG_RING_SLOTS;
  }
  write_banner(destination.file, "*   End of log dump");
  ring.read = ring.write = ring.held = 0;
  close_destination(destination);
}

// Holds a record in the ring, dropping the oldest when full; an error record dumps the ring.
void hold_record(const EthLogState& state, int mode, std::string text) {
  LogRing& ring = log_ring();
  std::lock_guard<std::mutex> guard(ring.lock);
  if (!ring.has_destination) {
    ring.has_destination = true;
    ring.file = state.file;
    ring.per_thread = (state.mode & ETH_LOG_PER_THREAD) != 0;
  }
  if (ring.slots.empty()) ring.slots.resize(ETH_LOG_RING_SLOTS);
  ring.slots[ring.write] = std::move(text);
  ring.write = (ring.write + 1) % ETH_LOG_RING_SLOTS;
  if (ring.held == ETH_LOG_RING_SLOTS)
    ring.read = (ring.read + 1) % ETH_LOG_RING_SLOTS;
  else
    ++ring.held;
  if (mode == ETH_LOG_ERROR) dump_ring(ring);
}

// Sends a finished record (with its dump, if any) to the ring or the destination.
// Called with the context's log lock held.
void emit(const EthLogState& state, int mode, std::string record, const std::string& dump) {
  if (state.mode & ETH_LOG_RING) {
    hold_record(state, mode, record + dump);
    return;
  }
  Destination destination = open_destination(state.file, (state.mode & ETH_LOG_PER_THREAD) != 0);
  if (destination.file == nullptr) return;
  fputs(record.c_str(), destination.file);
  fputs(dump.c_str(), destination.file);
  fputc('\n', destination.file);
  close_destination(destination);
}

void log_record(const void* context, const char* unit, int line, int mode, bool dump_variant,
                const unsigned char* bytes, size_t count, const char* format, va_list args) {
  bool is_http_context = false;
  EthLogState* state = eth_log_state_of(context, &is_http_context);
  if (state == nullptr) return;
  try {
    std::lock_guard<std::mutex> guard(state->lock);
    if (dump_variant ? (state->mode & ETH_LOG_PKTDUMP) == 0 : !passes_filter(state->mode, mode))
      return;
    std::string record = build_record(context, is_http_context, *state, unit, line, mode,
                                      dump_variant, format, args);
    std::string dump;
    if (dump_variant && bytes != nullptr && count > 0)
      dump = dump_text(masked_bytes(*state, bytes, count));
    emit(*state, mode, std::move(record), dump);
  } catch (...) {
    // A record that cannot be built or written is dropped; logging never fails the caller.
  }
}

}  // namespace

EthLogState* eth_log_state_of(const void* context, bool* is_http_context) {
  if (is_http_context != nullptr) *is_http_context = false;
  if (context == nullptr) return nullptr;
  int tag = 0;
  memcpy(&tag, context, sizeof tag);
  if (tag == ETH_HTTP_CONTEXT_TAG) {
    if (is_http_context != nullptr) *is_http_context = true;
    return &eth_log_of(static_cast<EthHttpContext*>(const_cast<void*>(context)));
  }
  if (tag == ETH_REQUEST_TAG) {
    EthHttpContext* http = static_cast<const EthRequestHeader*>(context)->context;
    if (http == nullptr || http->tag != ETH_HTTP_CONTEXT_TAG) return nullptr;
    return &eth_log_of(http);
  }
  return nullptr;
}

void eth_log(const void* context, const char* unit, int line, int mode, const char* format, ...) {
  va_list args;
  va_start(args, format);
  log_record(context, unit, line, mode, false, nullptr, 0, format, args);
  va_end(args);
}

void eth_log_dump(const void* context, const char* unit, int line, int mode,
                  const unsigned char* bytes, size_t count, const char* format, ...) {
  va_list args;
  va_start(args, format);
  log_record(context, unit, line, mode, true, bytes, count, format, args);
  va_end(args);
}

int eth_log_mode_from_option(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  struct Keyword {
    const char* name;
    int mode;
  };
  static constexpr Keyword kKeywords[] = {
      {"yes", 31},   {"true", 31},    {"on", 31}, {"onerror", 95},
      {"error", 95}, {"process", 63}, {"no", 0},  {"off", 0},
  };
  for (const Keyword& keyword : kKeywords)
    if (strcasecmp(text, keyword.name) == 0) return keyword.mode;
  errno = 0;
  long long value = strtoll(text, nullptr, 0);
  if (errno == ERANGE) return 0;
  // Only the low 32 bits are mode bits.
  return static_cast<int>(static_cast<unsigned>(value & 0xFFFFFFFFLL));
}

std::string eth_log_file_name(const std::string& base, bool per_thread) {
  if (!per_thread) return base;
  char suffix[32];
  snprintf(suffix, sizeof suffix, ".%08X.%08X", static_cast<unsigned>(getpid()),
           static_cast<unsigned>(gettid()));
  return base + suffix;
}

void eth_log_ring_clear() {
  LogRing& ring = log_ring();
  std::lock_guard<std::mutex> guard(ring.lock);
  for (std::string& slot : ring.slots) std::string().swap(slot);
  ring.read = ring.write = ring.held = 0;
  ring.has_destination = false;
  ring.file.clear();
  ring.per_thread = false;
}

size_t eth_log_ring_size() {
  LogRing& ring = log_ring();
  std::lock_guard<std::mutex> guard(ring.lock);
  return ring.held;
}
