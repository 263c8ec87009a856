// Decoder of gzip-encoded HTTP bodies: parses the member header itself, raw-inflates the
// deflate data into a growing buffer that never passes a caller's limit, and checks each
// member's CRC-32 and length trailer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Outcome of decoding a gzip body.
enum class EthGzipStatus {
  ok,                 // every member decoded and verified
  bad_magic,          // the first bytes are not 1F 8B 08
  bad_header,         // reserved flag bits or a header CRC (FHCRC) that does not match
  truncated,          // the data ends inside a member (header, deflate data or trailer)
  corrupt_data,       // the deflate data is invalid
  too_large,          // the inflated data would pass the output limit
  checksum_mismatch,  // a member's CRC-32 trailer does not match its data
  size_mismatch,      // a member's ISIZE trailer does not match its data length
  no_memory,          // the output buffer could not be grown
  zlib_failure,       // zlib refused to initialise or finish a stream
};

// What eth_gunzip found, beside the inflated bytes.
struct EthGzipResult {
  EthGzipStatus status = EthGzipStatus::ok;  // outcome
  int zlib_code = 0;                         // zlib's return code behind a zlib-side failure
  uint32_t declared_size = 0;  // the last four bytes as ISIZE (0 when too short), for the log only
  std::string message;         // readable reason when status is not ok ("" on success)
};

// Decodes the gzip member(s) in `data[0..size)` into `output` (replaced), never letting it grow
// past `output_limit` bytes. On failure `output` is cleared and the result says why.
EthGzipResult eth_gunzip(const unsigned char* data, size_t size, size_t output_limit,
                         std::string* output) noexcept;
