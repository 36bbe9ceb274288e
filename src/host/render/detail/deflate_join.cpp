// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/detail/deflate_join.h"

#include <array>
#include <cstring>

namespace host::render::detail {

namespace {

// Bits of a deflate stream, least significant first; reading past the end gives zeros
// and is caught by Overrun().
class Bits {
 public:
  Bits(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Peek(int n) const {
    size_t byte = pos_ >> 3;
    uint64_t v = 0;
    if (byte + 8 <= size_) {
      std::memcpy(&v, data_ + byte, 8);
    } else {
      for (size_t i = 0; i < 8 && byte + i < size_; ++i) v |= uint64_t{data_[byte + i]} << (8 * i);
    }
    return static_cast<uint32_t>((v >> (pos_ & 7)) & ((uint64_t{1} << n) - 1));
  }
  uint32_t Take(int n) {
    uint32_t v = Peek(n);
    pos_ += static_cast<size_t>(n);
    return v;
  }
  void Skip(size_t n) { pos_ += n; }
  void AlignToByte() { pos_ = (pos_ + 7) & ~size_t{7}; }
  size_t Position() const { return pos_; }
  bool Overrun() const { return pos_ > size_ * 8; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A canonical Huffman code as one table indexed by the next max_bits bits of input:
// each entry holds the symbol (high bits) and its code length (low 4 bits; 0: no code).
struct Code {
  std::vector<uint16_t> table;
  int max_bits = 0;

  bool Build(const uint8_t* lengths, int count) {
    int bl_count[16] = {};
    max_bits = 0;
    for (int i = 0; i < count; ++i) {
      ++bl_count[lengths[i]];
      if (lengths[i] > max_bits) max_bits = lengths[i];
    }
    table.assign(size_t{1} << max_bits, 0);
    if (max_bits == 0) return true;  // an empty code: decoding with it fails
    bl_count[0] = 0;
    int next_code[16] = {};
    int code = 0;
    for (int bits = 1; bits <= 15; ++bits) {
      code = (code + bl_count[bits - 1]) << 1;
      next_code[bits] = code;
    }
    for (int sym = 0; sym < count; ++sym) {
      int len = lengths[sym];
      if (len == 0) continue;
      int c = next_code[len]++;
      if (c >= (1 << len)) return false;  // over-subscribed
      int rev = 0;
      for (int i = 0; i < len; ++i) rev |= ((c >> i) & 1) << (len - 1 - i);
      for (size_t k = static_cast<size_t>(rev); k < table.size(); k += size_t{1} << len)
        table[k] = static_cast<uint16_t>(sym << 4 | len);
    }
    return true;
  }

  // The next symbol, or -1.
  int Decode(Bits& in) const {
    if (max_bits == 0) return -1;
    uint16_t e = table[in.Peek(max_bits)];
    if ((e & 15) == 0) return -1;
    in.Skip(e & 15);
    return e >> 4;
  }
};

int length_extra(int sym) {  // sym 257..285
  if (sym < 265 || sym == 285) return 0;
  return (sym - 261) / 4;
}

int distance_extra(int sym) { return sym < 4 ? 0 : sym / 2 - 1; }

// Walks the symbols of one Huffman block up to its end-of-block code.
bool skip_symbols(Bits& in, const Code& litlen, const Code& dist) {
  for (;;) {
    int sym = litlen.Decode(in);
    if (sym < 0 || sym > 285) return false;
    if (sym == 256) return true;
    if (sym > 256) {
      in.Skip(static_cast<size_t>(length_extra(sym)));
      int d = dist.Decode(in);
      if (d < 0 || d > 29) return false;
      in.Skip(static_cast<size_t>(distance_extra(d)));
    }
    if (in.Overrun()) return false;
  }
}

bool read_dynamic_codes(Bits& in, Code& litlen, Code& dist) {
  static constexpr int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  int hlit = static_cast<int>(in.Take(5)) + 257, hdist = static_cast<int>(in.Take(5)) + 1;
  int hclen = static_cast<int>(in.Take(4)) + 4;
  uint8_t cl[19] = {};
  for (int i = 0; i < hclen; ++i) cl[order[i]] = static_cast<uint8_t>(in.Take(3));
  Code lengths_code;
  if (!lengths_code.Build(cl, 19)) return false;
  std::array<uint8_t, 320> lens{};
  int n = 0;
  while (n < hlit + hdist) {
    int sym = lengths_code.Decode(in);
    if (sym < 0 || in.Overrun()) return false;
    if (sym < 16) {
      lens[static_cast<size_t>(n++)] = static_cast<uint8_t>(sym);
      continue;
    }
    int repeat = 0;
    uint8_t value = 0;
    if (sym == 16) {
      if (n == 0) return false;
      value = lens[static_cast<size_t>(n - 1)];
      repeat = 3 + static_cast<int>(in.Take(2));
    } else if (sym == 17) {
      repeat = 3 + static_cast<int>(in.Take(3));
    } else {
      repeat = 11 + static_cast<int>(in.Take(7));
    }
    if (n + repeat > hlit + hdist) return false;
    while (repeat-- > 0) lens[static_cast<size_t>(n++)] = value;
  }
  return litlen.Build(lens.data(), hlit) && dist.Build(lens.data() + hlit, hdist);
}

const Code& fixed_litlen() {
  static const Code code = [] {
    uint8_t lens[288];
    for (int i = 0; i < 288; ++i) lens[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    Code c;
    c.Build(lens, 288);
    return c;
  }();
  return code;
}

const Code& fixed_dist() {
  static const Code code = [] {
    uint8_t lens[30];
    std::memset(lens, 5, sizeof lens);
    Code c;
    c.Build(lens, 30);
    return c;
  }();
  return code;
}

}  // namespace

bool MakeJoinable(std::vector<uint8_t>& stream) {
  Bits in(stream.data(), stream.size());
  Code litlen, dist;
  for (;;) {
    size_t header = in.Position();
    bool final = in.Take(1) != 0;
    uint32_t type = in.Take(2);
    if (type == 0) {
      in.AlignToByte();
      uint32_t len = in.Take(16), nlen = in.Take(16);
      if ((len ^ 0xFFFF) != nlen) return false;
      in.Skip(size_t{len} * 8);
    } else if (type == 1) {
      if (!skip_symbols(in, fixed_litlen(), fixed_dist())) return false;
    } else if (type == 2) {
      if (!read_dynamic_codes(in, litlen, dist) || !skip_symbols(in, litlen, dist)) return false;
    } else {
      return false;
    }
    if (in.Overrun()) return false;
    if (!final) continue;

    // Clear the final mark, then an empty stored block from the end of this one: three
    // zero header bits, zeros to the byte boundary, LEN 0 and NLEN 0xFFFF.
    const size_t end = in.Position();
    stream[header >> 3] = static_cast<uint8_t>(stream[header >> 3] & ~(1u << (header & 7)));
    stream.resize((end + 7) >> 3);
    if (end & 7) stream.back() = static_cast<uint8_t>(stream.back() & ((1u << (end & 7)) - 1));
    const size_t free_bits = (8 - (end & 7)) & 7;
    if (free_bits < 3) stream.push_back(0);
    for (uint8_t b : {0x00, 0x00, 0xFF, 0xFF}) stream.push_back(b);
    return true;
  }
}

}  // namespace host::render::detail
