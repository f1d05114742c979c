#include "store/connection_pool.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "core/text.h"
#include "store/connect.h"
#include "store/connection_string.h"
#include "store/database_error.h"
#include "store/settings.h"

namespace ostrand::store {

struct ConnectionPool::Slot {
  Slot(ConnectionPool& owner, std::unique_ptr<Connection> c, std::uint64_t g)
      : pool(owner), connection(std::move(c)), generation(g) {}
  ~Slot() { pool.Return(std::move(connection), generation); }
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;

  ConnectionPool& pool;
  std::unique_ptr<Connection> connection;
  std::uint64_t generation;
};

namespace {

// The leases alive on this thread, by pool.
struct CurrentLease {
  const ConnectionPool* pool;
  std::weak_ptr<ConnectionPool::Slot> slot;
};
thread_local std::vector<CurrentLease> current_leases;

std::mutex registry_mutex;
std::vector<std::pair<std::string, ConnectionPool*>>& Registry() {
  static std::vector<std::pair<std::string, ConnectionPool*>> registry;
  return registry;
}

}  // namespace

ConnectionPool::Lease::Lease(std::shared_ptr<Slot> slot)
    : slot_(std::move(slot)), connection_(slot_->connection.get()) {}

ConnectionPool::ConnectionPool(std::string connection_string, std::size_t size)
    : ConnectionPool([cs = connection_string] { return Connect(cs); }, size,
                     RedactConnectionString(connection_string)) {}

ConnectionPool::ConnectionPool(Connector connect, std::size_t size, std::string name,
                               std::chrono::milliseconds wait)
    : connect_(std::move(connect)),
      size_(std::max<std::size_t>(size, 1)),
      name_(std::move(name)),
      wait_(wait) {}

ConnectionPool::~ConnectionPool() = default;

std::size_t ConnectionPool::open_count() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

std::size_t ConnectionPool::idle_count() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return idle_.size();
}

ConnectionPool::Lease ConnectionPool::Wrap(std::unique_ptr<Connection> connection,
                                           std::uint64_t generation) {
  connection->StartUse();
  auto slot = std::make_shared<Slot>(*this, std::move(connection), generation);
  std::erase_if(current_leases, [](const CurrentLease& l) { return l.slot.expired(); });
  current_leases.push_back(CurrentLease{this, slot});
  return Lease(std::move(slot));
}

ConnectionPool::Lease ConnectionPool::Acquire() {
  for (const CurrentLease& lease : current_leases) {
    if (lease.pool != this) continue;
    if (std::shared_ptr<Slot> slot = lease.slot.lock()) return Lease(std::move(slot));
  }
  const auto deadline = std::chrono::steady_clock::now() + wait_;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    while (!idle_.empty()) {
      Idle idle = std::move(idle_.back());
      idle_.pop_back();
      bool usable = idle.generation == generation_;
      if (usable) {
        lock.unlock();
        usable = idle.connection->IsUsable();
        if (usable) return Wrap(std::move(idle.connection), idle.generation);
        idle.connection.reset();
        lock.lock();
        ++generation_;
      } else {
        lock.unlock();
        idle.connection.reset();
        lock.lock();
      }
      --open_;
    }
    if (open_ < size_) {
      ++open_;
      const std::uint64_t generation = generation_;
      lock.unlock();
      try {
        return Wrap(connect_(), generation);
      } catch (...) {
        lock.lock();
        --open_;
        returned_.notify_one();
        throw;
      }
    }
    if (returned_.wait_until(lock, deadline) == std::cv_status::timeout && idle_.empty() &&
        open_ >= size_) {
      throw DatabaseError::Unavailable("all " + std::to_string(size_) + " connections to '" +
                                       name_ + "' are in use");
    }
  }
}

void ConnectionPool::Return(std::unique_ptr<Connection> connection, std::uint64_t generation) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (connection->broken() || generation != generation_) {
    if (connection->broken()) ++generation_;
    --open_;
    // Idle connections of an older generation go too.
    std::vector<Idle> stale;
    std::erase_if(idle_, [&](Idle& idle) {
      if (idle.generation == generation_) return false;
      stale.push_back(std::move(idle));
      return true;
    });
    open_ -= stale.size();
    lock.unlock();
    returned_.notify_all();
    connection.reset();
    return;  // `stale` closes its connections here, outside the lock
  }
  // A transaction left open by a failure must not reach the next user.
  connection->Rollback();
  idle_.push_back(Idle{std::move(connection), generation});
  lock.unlock();
  returned_.notify_one();
}

PoolRegistration::PoolRegistration(std::string connection_string, ConnectionPool& pool)
    : connection_string_(TrimWhitespace(connection_string)), pool_(&pool) {
  const std::lock_guard<std::mutex> lock(registry_mutex);
  Registry().emplace_back(connection_string_, pool_);
}

PoolRegistration::~PoolRegistration() {
  const std::lock_guard<std::mutex> lock(registry_mutex);
  auto& registry = Registry();
  for (auto it = registry.end(); it != registry.begin();) {
    --it;
    if (it->first == connection_string_ && it->second == pool_) {
      registry.erase(it);
      break;
    }
  }
}

ConnectionPool* FindPool(const std::string& connection_string) {
  const std::string_view key = TrimWhitespace(connection_string);
  const std::lock_guard<std::mutex> lock(registry_mutex);
  const auto& registry = Registry();
  for (auto it = registry.rbegin(); it != registry.rend(); ++it) {
    if (it->first == key) return it->second;
  }
  return nullptr;
}

}  // namespace ostrand::store
