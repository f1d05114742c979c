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
  waiting_.reserve(threads);
  try {
    for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  } catch (...) {
    StopThreads();
    throw;
  }
}

WorkerPool::~WorkerPool() { StopThreads(); }

void WorkerPool::StopThreads() {
  std::deque<std::function<void()>> dropped;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    dropped.swap(jobs_);
    for (Waiting* waiting : waiting_) waiting->wake.notify_one();
  }
  for (std::thread& thread : threads_) thread.join();
}

bool WorkerPool::TryPost(std::function<void()> job) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopping_) return false;
  if (!waiting_.empty()) {
    Waiting* const waiting = waiting_.back();
    waiting_.pop_back();
    waiting->job = std::move(job);
    lock.unlock();
    waiting->wake.notify_one();
    return true;
  }
  if (jobs_.size() >= queue_limit_) return false;
  jobs_.push_back(std::move(job));
  return true;
}

void WorkerPool::Work() {
  BlockStopSignals();
  Waiting self;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    std::function<void()> job;
    if (!jobs_.empty()) {
      job = std::move(jobs_.front());
      jobs_.pop_front();
    } else {
      if (stopping_) return;
      waiting_.push_back(&self);
      self.wake.wait(lock, [&] { return self.job != nullptr || stopping_; });
      if (self.job == nullptr) return;  // stopping; the pool forgets its waiting threads
      job = std::move(self.job);
      self.job = nullptr;
    }
    lock.unlock();
    job();
    job = nullptr;  // what the job held goes before the next wait
    lock.lock();
  }
}

}  // namespace ostrand::web::http
