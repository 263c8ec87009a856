// Decoder of gzip-encoded HTTP bodies. The trailer's ISIZE is only checked and used as a hint,
// never trusted to bound the output: the output grows in steps and stops at the caller's limit,
// so a small body that inflates to gigabytes fails early with bounded memory.
#include "driver/eth/eth_gzip.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr unsigned char kMagic0 = 0x1F;
constexpr unsigned char kMagic1 = 0x8B;
constexpr unsigned char kMethodDeflate = 8;
constexpr unsigned char kFlagHeaderCrc = 2;
constexpr unsigned char kFlagExtra = 4;
constexpr unsigned char kFlagName = 8;
constexpr unsigned char kFlagComment = 16;
constexpr unsigned char kReservedFlags = 0xE0;
constexpr size_t kFixedHeaderSize = 10;
constexpr size_t kTrailerSize = 8;
constexpr size_t kInflateStep = 64 * 1024;
constexpr size_t kMaxInputPiece = size_t{1} << 30;  // what one z_stream avail_in can carry

uint32_t little_endian32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

unsigned little_endian16(const unsigned char* bytes) {
  return static_cast<unsigned>(bytes[0]) | static_cast<unsigned>(bytes[1]) << 8;
}

EthGzipResult failure(EthGzipStatus status, std::string message, int zlib_code = 0) {
  EthGzipResult result;
  result.status = status;
  result.zlib_code = zlib_code;
  result.message = std::move(message);
  return result;
}

// Skips a NUL-terminated header text starting at `*position`; false when no NUL follows.
bool skip_text(const unsigned char* data, size_t size, size_t* position) {
  const void* end = memchr(data + *position, 0, size - *position);
  if (end == nullptr) return false;
  *position = static_cast<size_t>(static_cast<const unsigned char*>(end) - data) + 1;
  return true;
}

// Parses the member header at the start of `data`; on success `*header_size` is its length.
bool parse_member_header(const unsigned char* data, size_t size, size_t* header_size,
                         EthGzipResult* result) {
  const unsigned char magic[3] = {kMagic0, kMagic1, kMethodDeflate};
  if (memcmp(data, magic, std::min<size_t>(size, 3)) != 0) {
    *result = failure(EthGzipStatus::bad_magic, "gzip data does not start with 1F 8B 08");
    return false;
  }
  if (size < kFixedHeaderSize) {
    *result = failure(EthGzipStatus::truncated, "gzip data ends inside the member header");
    return false;
  }
  const unsigned char flags = data[3];
  if ((flags & kReservedFlags) != 0) {
    *result = failure(EthGzipStatus::bad_header, "gzip header has reserved flag bits set");
    return false;
  }
  size_t position = kFixedHeaderSize;
  const auto truncated = [result] {
    *result = failure(EthGzipStatus::truncated, "gzip data ends inside the member header");
    return false;
  };
  if ((flags & kFlagExtra) != 0) {
    if (size - position < 2) return truncated();
    const size_t extra = little_endian16(data + position);
    position += 2;
    if (size - position < extra) return truncated();
    position += extra;
  }
  if ((flags & kFlagName) != 0 && !skip_text(data, size, &position)) return truncated();
  if ((flags & kFlagComment) != 0 && !skip_text(data, size, &position)) return truncated();
  if ((flags & kFlagHeaderCrc) != 0) {
    if (size - position < 2) return truncated();
    const unsigned expected = little_endian16(data + position);
    const unsigned actual = static_cast<unsigned>(crc32_z(0, data, position) & 0xFFFF);
    if (expected != actual) {
      *result = failure(EthGzipStatus::bad_header, "gzip header CRC does not match");
      return false;
    }
    position += 2;
  }
  *header_size = position;
  return true;
}

// Ends a raw inflate stream on every path out of inflate_member.
struct InflateStream {
  z_stream stream{};
  bool open = false;
  ~InflateStream() {
    if (open) inflateEnd(&stream);
  }
};

// Inflates the deflate data at the start of `data` and appends it to `output`; on success
// `*consumed` is the number of compressed bytes used.
bool inflate_member(const unsigned char* data, size_t size, size_t output_limit,
                    std::string* output, size_t* consumed, EthGzipResult* result) {
  InflateStream raw;
  // Negative window bits select raw deflate: the gzip wrapper was parsed above.
  int code = inflateInit2(&raw.stream, -MAX_WBITS);
  if (code != Z_OK) {
    *result = failure(EthGzipStatus::zlib_failure, "inflateInit2 failed", code);
    return false;
  }
  raw.open = true;
  size_t fed = 0;
  for (;;) {
    if (raw.stream.avail_in == 0 && fed < size) {
      const size_t piece = std::min(size - fed, kMaxInputPiece);
      raw.stream.next_in = const_cast<Bytef*>(data + fed);
      raw.stream.avail_in = static_cast<uInt>(piece);
      fed += piece;
    }
    // One byte of room past the limit tells "exactly at the limit" from "over it".
    const size_t held = output->size();
    size_t room = std::min(kInflateStep, output_limit + 1 - held);
    // Within what was reserved, so the output is not copied into a buffer twice its size.
    if (output->capacity() > held) room = std::min(room, output->capacity() - held);
    output->resize(held + room);
    raw.stream.next_out = reinterpret_cast<Bytef*>(output->data() + held);
    raw.stream.avail_out = static_cast<uInt>(room);
    code = inflate(&raw.stream, Z_NO_FLUSH);
    output->resize(held + room - raw.stream.avail_out);
    if (output->size() > output_limit) {
      *result = failure(EthGzipStatus::too_large,
                        "inflated body exceeds " + std::to_string(output_limit) + " bytes");
      return false;
    }
    if (code == Z_STREAM_END) break;
    if (code == Z_OK) continue;
    if (code == Z_BUF_ERROR && raw.stream.avail_in == 0 && fed == size) {
      *result = failure(EthGzipStatus::truncated, "gzip data ends inside the deflate stream", code);
      return false;
    }
    if (code == Z_DATA_ERROR || code == Z_NEED_DICT) {
      std::string reason = raw.stream.msg != nullptr ? raw.stream.msg : "invalid data";
      *result = failure(EthGzipStatus::corrupt_data, "corrupt deflate data: " + reason, code);
      return false;
    }
    if (code == Z_MEM_ERROR) {
      *result = failure(EthGzipStatus::no_memory, "out of memory while inflating", code);
      return false;
    }
    *result = failure(EthGzipStatus::zlib_failure, "inflate failed", code);
    return false;
  }
  *consumed = fed - raw.stream.avail_in;
  raw.open = false;
  code = inflateEnd(&raw.stream);
  if (code != Z_OK) {
    *result = failure(EthGzipStatus::zlib_failure, "inflateEnd failed", code);
    return false;
  }
  return true;
}

EthGzipResult decode(const unsigned char* data, size_t size, size_t output_limit,
                     std::string* output) {
  EthGzipResult result;
  size_t offset = 0;
  // Concatenated members decode to the concatenation of their data.
  do {
    size_t header_size = 0;
    if (!parse_member_header(data + offset, size - offset, &header_size, &result)) return result;
    offset += header_size;
    const size_t member_start = output->size();
    size_t consumed = 0;
    if (!inflate_member(data + offset, size - offset, output_limit, output, &consumed, &result))
      return result;
    offset += consumed;
    if (size - offset < kTrailerSize)
      return failure(EthGzipStatus::truncated, "gzip data ends inside the member trailer");
    const auto* member = reinterpret_cast<const Bytef*>(output->data() + member_start);
    const size_t member_size = output->size() - member_start;
    if (little_endian32(data + offset) != static_cast<uint32_t>(crc32_z(0, member, member_size)))
      return failure(EthGzipStatus::checksum_mismatch, "gzip CRC-32 does not match the data");
    if (little_endian32(data + offset + 4) != static_cast<uint32_t>(member_size))
      return failure(EthGzipStatus::size_mismatch, "gzip ISIZE does not match the data length");
    offset += kTrailerSize;
  } while (offset < size);
  return result;
}

}  // namespace

EthGzipResult eth_gunzip(const unsigned char* data, size_t size, size_t output_limit,
                         std::string* output) noexcept {
  EthGzipResult result;
  try {
    output->clear();
    if (size == 0) return failure(EthGzipStatus::truncated, "gzip data is empty");
    const size_t limit = std::min(output_limit, SIZE_MAX - 1);
    // The trailer's size (of the last member) is only a hint: reserving it saves copying the
    // output as it grows, and pages a lying trailer reserves in vain are never touched.
    if (size >= kFixedHeaderSize + kTrailerSize)
      output->reserve(std::min<size_t>(little_endian32(data + size - 4), limit) + 1);
    result = decode(data, size, limit, output);
  } catch (const std::bad_alloc&) {
    result = failure(EthGzipStatus::no_memory, "out of memory while inflating");
  } catch (...) {
    result = failure(EthGzipStatus::zlib_failure, "unexpected failure while inflating");
  }
  if (result.status != EthGzipStatus::ok) {
    output->clear();
    output->shrink_to_fit();
  }
  if (size >= kFixedHeaderSize + kTrailerSize)
    result.declared_size = little_endian32(data + size - 4);
  return result;
}
