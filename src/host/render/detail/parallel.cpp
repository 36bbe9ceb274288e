// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/detail/parallel.h"

#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "host/render/detail/owned_mutex.h"

namespace host::render::detail {

namespace {

// Set on the pool's threads, and on a caller while it holds the pool: a call made there
// runs its tasks on its own thread, without asking for the pool again.
thread_local bool in_pool_call = false;

class PoolCallMark {
 public:
  PoolCallMark() : was_(in_pool_call) { in_pool_call = true; }
  ~PoolCallMark() { in_pool_call = was_; }
  PoolCallMark(const PoolCallMark&) = delete;
  PoolCallMark& operator=(const PoolCallMark&) = delete;

 private:
  bool was_;
};

struct Job {
  const std::function<void(size_t)>* task = nullptr;
  size_t count = 0;
  std::atomic<size_t> next{0};
  std::atomic<size_t> done{0};
  std::mutex error_mutex;
  std::exception_ptr error;

  // Takes tasks until none is left; true when this call finished the last one.
  bool Work() {
    bool last = false;
    for (size_t i; (i = next.fetch_add(1)) < count;) {
      try {
        (*task)(i);
      } catch (...) {
        std::lock_guard lock(error_mutex);
        if (!error) error = std::current_exception();
      }
      if (done.fetch_add(1) + 1 == count) last = true;
    }
    return last;
  }
};

class Pool {
 public:
  explicit Pool(int threads) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Run(); });
  }
  ~Pool() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
  }

  void For(size_t count, const std::function<void(size_t)>& task) {
    auto job = std::make_shared<Job>();
    job->task = &task;
    job->count = count;
    // Inside a call already (this thread holds the pool, or is one of its threads), the
    // pool is not asked for again: it is busy with the call this one is part of.
    std::unique_lock<OwnedMutex> busy;
    if (!in_pool_call && !threads_.empty() && count >= 2) busy = std::unique_lock(call_mutex_, std::try_to_lock);
    if (!busy.owns_lock()) {
      job->Work();
      if (job->error) std::rethrow_exception(job->error);
      return;
    }
    PoolCallMark mark;
    {
      std::lock_guard lock(mutex_);
      job_ = job;
      ++generation_;
    }
    wake_.notify_all();
    job->Work();
    {
      std::unique_lock lock(mutex_);
      finished_.wait(lock, [&] { return job->done.load() == count; });
      job_.reset();
    }
    if (job->error) std::rethrow_exception(job->error);
  }

 private:
  void Run() {
    in_pool_call = true;
    unsigned long seen = 0;
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || (job_ && generation_ != seen); });
        if (stopping_) return;
        seen = generation_;
        job = job_;
      }
      if (job->Work()) {
        std::lock_guard lock(mutex_);
        finished_.notify_all();
      }
    }
  }

  std::vector<std::thread> threads_;
  OwnedMutex call_mutex_{"thread pool"};  // one job at a time
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::shared_ptr<Job> job_;
  unsigned long generation_ = 0;
  bool stopping_ = false;
};

Pool& pool() {
  static Pool p(UsableCores() - 1);
  return p;
}

}  // namespace

int UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

void ParallelFor(size_t count, const std::function<void(size_t)>& task) { pool().For(count, task); }

}  // namespace host::render::detail
