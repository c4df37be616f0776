// The inflater on ISA-L's igzip, which computes the CRC-32 of what it gives
// out as it goes.
#include <crc.h>
#include <igzip_lib.h>

#include <algorithm>
#include <climits>

#include "archive/inflater.h"

struct Inflater::State {
  State() {}  // isal_inflate_init sets what counts; 85 KiB need no zeroing
  inflate_state isal;
  const unsigned char* lastIn = nullptr;  // nextIn as the last call left it
  size_t takenHere = 0;                   // taken from the input since nextIn was set there
  bool decoded = false;                   // the final block is decoded, perhaps not all given out
  bool ended = false;                     // and all given out
};

namespace {

// ISA-L picks the implementations of its decoder and CRC for the processor
// on their first calls. Making those calls once, while a static is
// initialised, keeps threads that begin inflating together from racing to
// pick.
void ChooseImplementations() {
  static const bool chosen = [] {
    auto isal = std::make_unique<inflate_state>();
    isal_inflate_init(isal.get());
    isal->crc_flag = ISAL_GZIP_NO_HDR;
    unsigned char empty[] = {0x03, 0x00}, out[1];  // a final block of the fixed code, empty
    isal->next_in = empty;
    isal->avail_in = sizeof empty;
    isal->next_out = out;
    isal->avail_out = sizeof out;
    return isal_inflate(isal.get()) == ISAL_DECOMP_OK;
  }();
  (void)chosen;
}

const char* ErrorText(int error) {
  switch (error) {
    case ISAL_INVALID_SYMBOL:
      return "invalid literal/length or distance code";
    case ISAL_INVALID_LOOKBACK:
      return "invalid distance too far back";
    default:
      return "invalid block";
  }
}

}  // namespace

Inflater::Inflater() : state(std::make_unique<State>()) {
  ChooseImplementations();
  isal_inflate_init(&state->isal);
  state->isal.crc_flag = ISAL_GZIP_NO_HDR;  // raw deflate, its output's CRC-32 kept, no trailer
}

Inflater::~Inflater() = default;

InflateStatus Inflate(Inflater* inflater) {
  Inflater::State* state = inflater->state.get();
  inflate_state* isal = &state->isal;
  if (inflater->message != nullptr) return InflateStatus::kDataError;
  if (state->ended) return InflateStatus::kStreamEnd;
  // ISA-L counts in 32 bits; a longer buffer is taken in more calls.
  uint32_t availIn = static_cast<uint32_t>(std::min<size_t>(inflater->availIn, UINT32_MAX));
  uint32_t availOut = static_cast<uint32_t>(std::min<size_t>(inflater->availOut, UINT32_MAX));
  if (inflater->nextIn != state->lastIn) state->takenHere = 0;
  isal->next_in = const_cast<unsigned char*>(inflater->nextIn);
  isal->avail_in = availIn;
  isal->next_out = inflater->nextOut;
  isal->avail_out = availOut;
  int result = isal_inflate(isal);
  uint32_t taken = availIn - isal->avail_in;
  uint32_t given = availOut - isal->avail_out;
  state->takenHere += taken;
  size_t back = 0;
  if (!state->decoded &&
      (isal->block_state == ISAL_BLOCK_INPUT_DONE || isal->block_state == ISAL_BLOCK_FINISH)) {
    // ISA-L reads up to eight bytes ahead, which after the final block are
    // not its own: those still in the caller's buffer go back.
    back = std::min<size_t>(static_cast<uint32_t>(isal->read_in_length) / 8, state->takenHere);
    state->decoded = true;
  }
  state->ended = isal->block_state == ISAL_BLOCK_FINISH;
  inflater->nextIn += taken;
  inflater->availIn -= taken;
  inflater->nextIn -= back;
  inflater->availIn += back;
  state->lastIn = inflater->nextIn;
  inflater->nextOut += given;
  inflater->availOut -= given;
  inflater->totalOut += given;
  inflater->crc = isal->crc;
  if (result < 0) {
    inflater->message = ErrorText(result);
    return InflateStatus::kDataError;
  }
  if (state->ended) return InflateStatus::kStreamEnd;
  return taken == 0 && given == 0 && back == 0 ? InflateStatus::kStalled : InflateStatus::kProgress;
}

uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t length) {
  // ISA-L's reflected gzip CRC chains as zlib's crc32 does.
  ChooseImplementations();
  return crc32_gzip_refl(crc, data, length);
}
