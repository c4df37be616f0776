// The inflater on zlib, for builds without ISA-L.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

#include "archive/inflater.h"

struct Inflater::State {
  z_stream z{};
};

namespace {

// zlib's memory comes from operator new, as all of the launcher's does, so
// that running out ends the process instead of failing one inflation.
voidpf Allocate(voidpf, uInt count, uInt size) { return ::operator new(static_cast<size_t>(count) * size); }
void Free(voidpf, voidpf p) { ::operator delete(p); }

}  // namespace

Inflater::Inflater() : state(std::make_unique<State>()) {
  state->z.zalloc = Allocate;
  state->z.zfree = Free;
  inflateInit2(&state->z, -MAX_WBITS);
}

Inflater::~Inflater() { inflateEnd(&state->z); }

InflateStatus Inflate(Inflater* inflater) {
  z_stream* z = &inflater->state->z;
  // zlib counts in 32 bits; a longer buffer is taken in more calls.
  uInt availIn = static_cast<uInt>(std::min<size_t>(inflater->availIn, UINT_MAX));
  uInt availOut = static_cast<uInt>(std::min<size_t>(inflater->availOut, UINT_MAX));
  z->next_in = const_cast<Bytef*>(inflater->nextIn);
  z->avail_in = availIn;
  z->next_out = inflater->nextOut;
  z->avail_out = availOut;
  int result = inflate(z, Z_NO_FLUSH);
  uInt taken = availIn - z->avail_in;
  uInt given = availOut - z->avail_out;
  inflater->crc = static_cast<uint32_t>(crc32(inflater->crc, inflater->nextOut, given));
  inflater->nextIn += taken;
  inflater->availIn -= taken;
  inflater->nextOut += given;
  inflater->availOut -= given;
  inflater->totalOut += given;
  switch (result) {
    case Z_OK:
      return InflateStatus::kProgress;
    case Z_STREAM_END:
      return InflateStatus::kStreamEnd;
    case Z_BUF_ERROR:
      return InflateStatus::kStalled;
    default:
      // A stream that went wrong stays wrong, with the text of its first error.
      if (inflater->message == nullptr) inflater->message = z->msg != nullptr ? z->msg : "invalid data";
      return InflateStatus::kDataError;
  }
}

uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t length) {
  return static_cast<uint32_t>(crc32_z(crc, data, length));
}
