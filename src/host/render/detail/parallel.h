// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Work spread over the cores this process may run on: one pool for the whole process,
// its threads kept between pages. With one core everything runs on the caller.

#include <cstddef>
#include <functional>

namespace host::render::detail {

// The cores the process may run on (its affinity mask), at least 1.
int UsableCores();

// Calls task(0) ... task(count - 1), each once, spread over the pool and the caller;
// returns when all are done. The first exception a task throws is rethrown here (the
// other tasks still run). A call made while another is running (from another thread,
// or from inside a task) runs its tasks on its own thread.
void ParallelFor(size_t count, const std::function<void(size_t)>& task);

}  // namespace host::render::detail
