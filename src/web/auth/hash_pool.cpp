#include "web/auth/hash_pool.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>

namespace ostrand::web {

HashPool::HashPool(std::size_t workers, std::size_t queue_limit) : queue_limit_(queue_limit) {
  const std::size_t count = std::max<std::size_t>(workers, 1);
  threads_.reserve(count);
  // The threads start with every signal blocked (they inherit the mask), so
  // that SIGINT and SIGTERM reach the thread the server waits for them in.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  try {
    for (std::size_t i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    throw;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

HashPool::~HashPool() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool HashPool::Submit(Lane lane, std::function<void()> job) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::deque<std::function<void()>>& queue = lane == Lane::kFirst ? first_ : later_;
    if (stopping_ || queue.size() >= queue_limit_) return false;
    queue.push_back(std::move(job));
  }
  ready_.notify_one();
  return true;
}

void HashPool::Work() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !first_.empty() || !later_.empty(); });
      std::deque<std::function<void()>>& queue = !first_.empty() ? first_ : later_;
      if (queue.empty()) return;  // stopping, and nothing left to run
      job = std::move(queue.front());
      queue.pop_front();
    }
    job();
  }
}

std::size_t HashPool::WorkersFor(std::size_t memory_per_job) {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGE_SIZE);
  std::size_t by_memory = 1;
  if (pages > 0 && page_size > 0 && memory_per_job > 0) {
    const auto memory =
        static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(page_size);
    by_memory = static_cast<std::size_t>(memory / 16 / memory_per_job);
  }
  const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp<std::size_t>(by_memory, 1, processors);
}

}  // namespace ostrand::web
