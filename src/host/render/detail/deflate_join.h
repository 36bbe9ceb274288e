// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Raw deflate streams compressed apart, joined into one: every stream but the last has
// its final-block mark cleared and is closed by an empty stored block (what a sync
// flush writes), so that the next one starts on a byte boundary.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace host::render::detail {

// Turns a complete raw deflate stream (as libdeflate writes it) into one that a next
// stream may follow: the bytes are changed in place and the stored block appended.
// False when the bytes are not a complete deflate stream; they are then unchanged.
bool MakeJoinable(std::vector<uint8_t>& stream);

}  // namespace host::render::detail
