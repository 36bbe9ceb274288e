// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A mutex that knows the thread holding it. Locking a std::mutex again on the thread that
// holds it is undefined (on glibc it may even seem to work); this one stops the program
// with a message instead, so that such a fault shows in every build, not only under a
// thread sanitizer.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace host::render::detail {

class OwnedMutex {
 public:
  explicit OwnedMutex(const char* name) : name_(name) {}
  OwnedMutex(const OwnedMutex&) = delete;
  OwnedMutex& operator=(const OwnedMutex&) = delete;

  void lock() {
    refuse_twice();
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  bool try_lock() {
    refuse_twice();
    if (!mutex_.try_lock()) return false;
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
  }
  void unlock() {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
  // Whether the calling thread holds it. Only the holder stores its own id, so the answer
  // is exact for the caller, whatever other threads do.
  bool HeldHere() const { return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id(); }

 private:
  void refuse_twice() const {
    if (!HeldHere()) return;
    std::fprintf(stderr, "internal error: the %s lock taken again by the thread that holds it\n", name_);
    std::abort();
  }
  const char* name_;
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

}  // namespace host::render::detail
