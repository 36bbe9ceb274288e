// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces under the parallel encoders: deflate streams joined into one, and the
// work spread over the cores.

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <atomic>
#include <random>
#include <stdexcept>
#include <thread>

#include "host/render/detail/deflate_join.h"
#include "host/render/detail/parallel.h"

using namespace host::render::detail;

namespace {

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, in.size()));
  out.resize(libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}

// Inflates a raw deflate stream with zlib; fails unless it ends exactly at its end.
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& stream, size_t expected) {
  std::vector<uint8_t> out(expected + 16);
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = uInt(stream.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  int rc = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error(std::string("zlib: ") + (z.msg ? z.msg : "no stream end"));
  if (z.avail_in != 0) throw std::runtime_error("bytes after the stream");
  out.resize(z.total_out);
  return out;
}

// Pieces of every kind libdeflate writes: empty, tiny (fixed codes), incompressible
// (stored blocks), long runs and text-like data (dynamic codes, several blocks), at
// every level.
TEST(DeflateJoin, PiecesCompressedApartInflateAsOne) {
  std::mt19937 rng(5);
  std::vector<std::vector<uint8_t>> pieces;
  pieces.push_back({});
  pieces.push_back({'a'});
  pieces.push_back({1, 2, 3, 1, 2, 3, 1, 2, 3});
  std::vector<uint8_t> noise(200000);
  for (auto& b : noise) b = uint8_t(rng());
  pieces.push_back(noise);
  pieces.push_back(std::vector<uint8_t>(700000, 0));
  std::vector<uint8_t> text;
  const char* words[] = {"map ", "book ", "page ", "grid ", "tile ", "index\n"};
  while (text.size() < 900000)
    for (char ch : std::string(words[rng() % 6])) text.push_back(uint8_t(ch));
  pieces.push_back(text);
  for (int level : {0, 1, 2, 6, 12}) {
    std::vector<uint8_t> joined, whole;
    for (size_t i = 0; i < pieces.size(); ++i) {
      std::vector<uint8_t> z = Deflate(pieces[i], level);
      if (i + 1 < pieces.size()) {
        ASSERT_TRUE(MakeJoinable(z)) << "piece " << i << " at level " << level;
      }
      joined.insert(joined.end(), z.begin(), z.end());
      whole.insert(whole.end(), pieces[i].begin(), pieces[i].end());
    }
    EXPECT_EQ(Inflate(joined, whole.size()), whole) << "level " << level;
  }
}

TEST(DeflateJoin, BytesThatAreNoCompleteStreamAreLeftAlone) {
  std::vector<uint8_t> z = Deflate(std::vector<uint8_t>(5000, 'x'), 6);
  std::vector<uint8_t> cut(z.begin(), z.begin() + long(z.size() / 2));
  std::vector<uint8_t> before = cut;
  EXPECT_FALSE(MakeJoinable(cut));
  EXPECT_EQ(cut, before);
  std::vector<uint8_t> reserved = {0x07};  // a block of the reserved type 3
  EXPECT_FALSE(MakeJoinable(reserved));
  std::vector<uint8_t> empty;
  EXPECT_FALSE(MakeJoinable(empty));
}

TEST(ParallelFor, EveryTaskRunsOnceAndTheFirstFailureComesBack) {
  EXPECT_GE(UsableCores(), 1);
  std::vector<std::atomic<int>> runs(1000);
  ParallelFor(runs.size(), [&](size_t i) { ++runs[i]; });
  for (auto& r : runs) EXPECT_EQ(r.load(), 1);

  std::atomic<int> done{0};
  EXPECT_THROW(ParallelFor(100,
                           [&](size_t i) {
                             ++done;
                             if (i == 42) throw std::runtime_error("task 42");
                           }),
               std::runtime_error);
  EXPECT_EQ(done.load(), 100) << "the other tasks still ran";
  ParallelFor(0, [](size_t) { FAIL() << "no task for a count of 0"; });
}

// A call from inside a task, and calls from two threads at once, run to the end.
TEST(ParallelFor, NestedAndConcurrentCallsFinish) {
  std::atomic<int> inner{0};
  ParallelFor(8, [&](size_t) { ParallelFor(10, [&](size_t) { ++inner; }); });
  EXPECT_EQ(inner.load(), 80);

  std::atomic<int> total{0};
  std::thread other([&] {
    for (int k = 0; k < 50; ++k) ParallelFor(20, [&](size_t) { ++total; });
  });
  for (int k = 0; k < 50; ++k) ParallelFor(20, [&](size_t) { ++total; });
  other.join();
  EXPECT_EQ(total.load(), 2000);
}

}  // namespace
