// WorkerPool: a fixed number of threads that run jobs from a bounded queue.
// The web host runs database work and password checks here, never on the
// threads that read and write connections, and turns requests away (503)
// when the queue is full rather than let them wait without end. Its threads
// never take the signals that stop a server (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT): those go to the thread that waits for them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ostrand::web::http {

// Blocks SIGINT, SIGTERM, SIGHUP and SIGQUIT in the calling thread, so that
// they reach the thread that waits for them.
void BlockStopSignals();

class WorkerPool {
 public:
  // Starts `threads` threads (at least one). At most `queue_limit` jobs wait
  // for a thread at a time. Throws std::system_error when a thread cannot
  // be started.
  WorkerPool(std::size_t threads, std::size_t queue_limit);
  // Drops the jobs still waiting, lets the running ones finish, and joins
  // the threads.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues the job; false (and the job is dropped unrun) when the queue is
  // full or the pool is stopping. A job must not throw: an exception that
  // leaves it ends the program.
  bool TryPost(std::function<void()> job);

  std::size_t thread_count() const { return threads_.size(); }

 private:
  // A thread that waits for work; the job handed to it lands in `job`.
  struct Waiting {
    std::condition_variable wake;
    std::function<void()> job;
  };
  void Work();
  // Drops the jobs still queued, wakes the waiting threads and joins them all.
  void StopThreads();

  const std::size_t queue_limit_;
  std::mutex mutex_;  // guards everything below but threads_
  std::deque<std::function<void()>> jobs_;
  // The threads waiting, the last to wait last: a job goes to it, whose
  // caches are warmest, and the others sleep on.
  std::vector<Waiting*> waiting_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace ostrand::web::http
