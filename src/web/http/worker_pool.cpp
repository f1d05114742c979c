#include "web/http/worker_pool.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>

namespace ostrand::web::http {

void BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

WorkerPool::WorkerPool(std::size_t threads, std::size_t queue_limit)
    : queue_limit_(std::max<std::size_t>(queue_limit, 1)) {
  threads = std::max<std::size_t>(threads, 1);
  threads_.reserve(threads);
  try {
    for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  } catch (...) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    throw;
  }
}

WorkerPool::~WorkerPool() {
  std::deque<std::function<void()>> dropped;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    dropped.swap(jobs_);
  }
  ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool WorkerPool::TryPost(std::function<void()> job) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || jobs_.size() >= queue_limit_) return false;
    jobs_.push_back(std::move(job));
  }
  ready_.notify_one();
  return true;
}

void WorkerPool::Work() {
  BlockStopSignals();
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and nothing left to run
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace ostrand::web::http
