#include "archive/inflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

/// Raw deflate of data by zlib; a flushEvery above 0 flushes after every
/// that many bytes, which makes many small blocks (and empty stored ones).
/// A dictionary makes a stream that reaches back before its own start.
Bytes Deflate(const Bytes& data, int level, int strategy, size_t flushEvery = 0, const Bytes& dictionary = {}) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy), Z_OK);
  if (!dictionary.empty()) deflateSetDictionary(&z, dictionary.data(), static_cast<uInt>(dictionary.size()));
  Bytes out(deflateBound(&z, data.size()) + data.size() / 4 + 64);
  z.next_out = out.data();
  size_t step = flushEvery > 0 ? flushEvery : std::max<size_t>(data.size(), 1);
  for (size_t done = 0;;) {
    size_t n = std::min(step, data.size() - done);
    z.next_in = const_cast<unsigned char*>(data.data() + done);
    z.avail_in = static_cast<uInt>(n);
    done += n;
    z.avail_out = static_cast<uInt>(out.data() + out.size() - z.next_out);
    if (deflate(&z, done == data.size() ? Z_FINISH : Z_SYNC_FLUSH) == Z_STREAM_END) break;
  }
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

/// What inflating one stream came to.
struct Outcome {
  Bytes output;
  bool ended = false, damaged = false;
  size_t leftOver = 0;  // input not taken at the end
  uint32_t crc = 0;
};

/// Inflates input given in pieces of inChunk bytes with room for outRoom
/// bytes at a time, as the archive reader does, one step per call; false
/// once the stream has ended or failed, or can't go on with all the input.
struct Feeder {
  Feeder(const Bytes& input, size_t inChunk, size_t outRoom) : input(input), inChunk(inChunk), room(outRoom) {}

  bool Advance() {
    if (stream.availIn == 0 && fed < input.size()) {
      size_t n = std::min(inChunk, input.size() - fed);
      stream.nextIn = input.data() + fed;
      stream.availIn = n;
      fed += n;
    }
    stream.nextOut = room.data();
    stream.availOut = room.size();
    InflateStatus status = Inflate(&stream);
    result.output.insert(result.output.end(), room.begin(), room.end() - static_cast<ptrdiff_t>(stream.availOut));
    result.ended = status == InflateStatus::kStreamEnd;
    result.damaged = status == InflateStatus::kDataError && stream.message != nullptr;
    result.leftOver = stream.availIn + (input.size() - fed);
    result.crc = stream.crc;
    return status == InflateStatus::kProgress ||
           !(result.ended || result.damaged || stream.availIn > 0 || fed == input.size());
  }

  Inflater stream;
  const Bytes& input;
  size_t inChunk, fed = 0;
  Bytes room;
  Outcome result;
};

Outcome Inflated(const Bytes& input, size_t inChunk, size_t outRoom) {
  Feeder feeder(input, inChunk, outRoom);
  while (feeder.Advance()) {
  }
  return feeder.result;
}

Bytes Text(size_t size) {
  std::mt19937 random(17);
  const char* words[] = {"class ", "java/lang/", "Object", "(I)V", "\n", "String", "<init>", "public "};
  Bytes text;
  while (text.size() < size) {
    const char* w = words[random() % 8];
    text.insert(text.end(), w, w + strlen(w));
  }
  return text;
}

TEST(Inflater, InflatesWhatZlibDeflatedInAnyPieces) {
  std::mt19937 random(17);
  Bytes noise(150000), runs, text = Text(300000);
  for (auto& b : noise) b = static_cast<unsigned char>(random());
  // Long runs and matches at the window's far end.
  while (runs.size() < 200000) runs.insert(runs.end(), 1 + random() % 3000, static_cast<unsigned char>(random() % 4));
  runs.insert(runs.end(), text.begin(), text.begin() + 40000);
  // Dynamic and fixed codes, stored blocks, and many tiny blocks.
  struct Way {
    int level, strategy;
    size_t flushEvery;
  } ways[] = {{6, Z_DEFAULT_STRATEGY, 0}, {9, Z_FIXED, 0}, {0, Z_DEFAULT_STRATEGY, 0}, {6, Z_DEFAULT_STRATEGY, 97}};
  for (const Bytes* sample : {&noise, &text, &runs}) {
    for (bool tiny : {false, true}) {
      // Tiny pieces on a part of each sample only: they are slow. All the
      // input at once with room for all but the last byte: the stream's end
      // is read one call before it's reached.
      Bytes data(sample->begin(), sample->begin() + (tiny ? 20000 : static_cast<ptrdiff_t>(sample->size())));
      std::vector<std::pair<size_t, size_t>> pieces = {{65536, 262144}, {4093, 300}, {1 << 20, data.size() - 1}};
      if (tiny) pieces = {{1, 7}, {13, 1}};
      for (const Way& way : ways) {
        Bytes stream = Deflate(data, way.level, way.strategy, way.flushEvery);
        // Bytes after the end of the stream stay unread, as zlib leaves them.
        Bytes trailed = stream;
        trailed.insert(trailed.end(), {0x50, 0x4b, 0x03, 0x04, 0x14});
        for (auto [inChunk, outRoom] : pieces) {
          SCOPED_TRACE("level " + std::to_string(way.level) + " strategy " + std::to_string(way.strategy) +
                       " flush " + std::to_string(way.flushEvery) + " in " + std::to_string(inChunk) + " out " +
                       std::to_string(outRoom));
          for (const Bytes* input : {&stream, &trailed}) {
            Outcome ours = Inflated(*input, inChunk, outRoom);
            EXPECT_TRUE(ours.ended && !ours.damaged);
            EXPECT_TRUE(ours.output == data);
            EXPECT_EQ(ours.leftOver, input->size() - stream.size());
            EXPECT_EQ(ours.crc, crc32(0, data.data(), static_cast<uInt>(data.size())));
          }
        }
      }
    }
  }
  // Two streams inflated turn about share nothing.
  Bytes a = Deflate(text, 6, Z_DEFAULT_STRATEGY), b = Deflate(runs, 9, Z_FIXED);
  Feeder first(a, 500, 1000), second(b, 700, 900);
  // Both advance on every round, whichever is done first.
  for (bool more = true; more;) {
    bool firstMore = first.Advance();
    bool secondMore = second.Advance();
    more = firstMore || secondMore;
  }
  EXPECT_TRUE(first.result.output == text && second.result.output == runs);
  // The CRC chains as zlib's does, in pieces of any size.
  uint32_t crc = Crc32(0, nullptr, 0);
  for (size_t i = 0; i < text.size(); i += 1 + i % 1000)
    crc = Crc32(crc, text.data() + i, std::min<size_t>(1 + i % 1000, text.size() - i));
  EXPECT_EQ(crc, crc32(0, text.data(), static_cast<uInt>(text.size())));
}

TEST(Inflater, NeverEndsACutStreamAndFailsOnADamagedOne) {
  Bytes text = Text(60000);
  for (int level : {0, 6}) {
    Bytes stream = Deflate(text, level, Z_DEFAULT_STRATEGY, 20000);
    // Cut anywhere, it never ends, and what came out is the data's start.
    for (size_t cut : {size_t{0}, size_t{1}, size_t{3}, stream.size() / 2, stream.size() - 1}) {
      Outcome ours = Inflated(Bytes(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut)), 4096, 4096);
      EXPECT_FALSE(ours.ended || ours.damaged) << cut;
      EXPECT_TRUE(std::equal(ours.output.begin(), ours.output.end(), text.begin())) << cut;
    }
  }
  // A block type that doesn't exist, a stored block whose length and its
  // complement disagree, and a distance before the start.
  Bytes start(text.begin(), text.begin() + 2000);
  for (const Bytes& damaged : {Bytes{0x07, 0x00}, Bytes{0x01, 0x05, 0x00, 0x00, 0x00, 'a', 'b', 'c', 'd', 'e'},
                               Deflate(start, 6, Z_DEFAULT_STRATEGY, 0, start)}) {
    Outcome ours = Inflated(damaged, 4096, 4096);
    EXPECT_TRUE(ours.damaged && !ours.ended);
  }
}

}  // namespace
