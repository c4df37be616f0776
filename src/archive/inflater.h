// Raw deflate inflation and CRC-32, the archive reader's only way to either.
// The build picks the backend: ISA-L (inflater_isal.cpp) where it has it,
// zlib (inflater_zlib.cpp) elsewhere. Both give the same output, statuses,
// CRC and unread input; only the texts of data errors differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

/// What one Inflate call came to.
enum class InflateStatus {
  kProgress,   // input was taken or output given; call again
  kStreamEnd,  // the final block is out; any bytes after it stay in availIn
  kStalled,    // nothing could be done: more input or more output room is needed
  kDataError,  // the input is no deflate stream; message says why
};

/// One raw deflate stream, used as zlib's z_stream: point nextIn and availIn
/// at compressed bytes and nextOut and availOut at room, and each Inflate
/// advances them past what it took and gave. Streams share nothing, so
/// threads may each own one.
struct Inflater {
  Inflater();
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  const unsigned char* nextIn = nullptr;
  size_t availIn = 0;
  unsigned char* nextOut = nullptr;
  size_t availOut = 0;
  uint64_t totalOut = 0;          // bytes given out since the start
  uint32_t crc = 0;               // their CRC-32
  const char* message = nullptr;  // after kDataError: a fixed English text

  struct State;  // the backend's
  std::unique_ptr<State> state;
};

/// Inflates from nextIn into nextOut as far as both reach. After kStreamEnd
/// or kDataError the stream takes nothing more.
InflateStatus Inflate(Inflater* inflater);

/// The CRC-32 of length bytes at data, continuing crc (0 to start), as
/// zlib's crc32 computes it: Crc32(Crc32(0, a), b) is the CRC of a then b.
uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t length);
