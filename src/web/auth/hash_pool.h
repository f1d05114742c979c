// HashPool: a few threads that run password-hash checks, so that the
// memory the hashes take (Argon2id: tens of MiB each) is bounded by the
// number of threads, whatever the number of sign-ins arriving at once.
//
// Jobs wait in two bounded queues: the first lane (sign-ins that nothing
// marks as suspect) is always served before the later lane, so a burst of
// guesses never keeps a colleague waiting behind it. A job that finds its
// queue full is refused at once; the caller answers "busy" instead of
// holding a connection. A job reports its result through whatever callback
// it captured; the pool runs it on one of its threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ostrand::web {

class HashPool {
 public:
  enum class Lane { kFirst, kLater };

  // Starts `workers` threads (at least one), which block every signal; each
  // lane holds at most `queue_limit` waiting jobs. Throws std::system_error
  // when a thread cannot be started.
  HashPool(std::size_t workers, std::size_t queue_limit);
  // Refuses new jobs, runs the jobs already queued, then joins the threads,
  // so that every accepted job's callback runs.
  ~HashPool();
  HashPool(const HashPool&) = delete;
  HashPool& operator=(const HashPool&) = delete;

  // Queues `job` on `lane`; false (and the job is dropped unrun) when that
  // lane's queue is full or the pool is stopping. The job must not throw;
  // an exception that escapes it ends the process.
  bool Submit(Lane lane, std::function<void()> job);

  std::size_t workers() const { return threads_.size(); }

  // How many threads suit jobs of `memory_per_job` bytes on this machine:
  // no more than its processors (the jobs are CPU-bound) and no more than
  // fit in a sixteenth of its physical memory; at least one.
  static std::size_t WorkersFor(std::size_t memory_per_job);

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> first_;
  std::deque<std::function<void()>> later_;
  const std::size_t queue_limit_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace ostrand::web
