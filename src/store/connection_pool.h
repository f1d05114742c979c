// ConnectionPool: a bounded set of open connections to one database, shared
// by the threads of a process (the web host's requests), so that no request
// opens a connection of its own.
//
// Acquire hands out a Lease on an idle connection, after checking it
// (Connection::IsUsable: a server that went away, an SQLite file that is
// writable again after a read-only spell), or opens a new one while fewer
// than `size` are open; otherwise it waits for one to come back. A
// connection that comes back broken, or fails its check, is closed, and so
// are all idle ones with it: they share its fate (a restarted server, a
// file's permissions), and fresh ones are opened as they are needed.
//
// On one thread, Acquire while a Lease of the same pool is alive returns
// that Lease again: a request and the component it runs use one connection,
// and a request can never wait for a second connection of its own.
//
// A pool can be registered for its connection string (PoolRegistration);
// PlanStore::Open then leases from it instead of connecting, so that the
// component's Init in a page uses the page's connection.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "store/connection.h"
#include "store/settings.h"

namespace ostrand::store {

class ConnectionPool {
 public:
  using Connector = std::function<std::unique_ptr<Connection>()>;

  // A pool of at most `size` (at least 1) connections made by store::Connect
  // for the connection string. Connects nothing yet.
  ConnectionPool(std::string connection_string, std::size_t size);
  // A pool whose connections `connect` makes; `name` names the database in
  // messages; Acquire waits at most `wait` for a connection to come back.
  ConnectionPool(Connector connect, std::size_t size, std::string name,
                 std::chrono::milliseconds wait = kPoolWaitTimeout);
  // Closes the idle connections. Every Lease must be gone.
  ~ConnectionPool();
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  struct Slot;

  // A connection on loan. Copies share it; the last one to go gives it
  // back. Used on the thread that acquired it.
  class Lease {
   public:
    Connection& operator*() const { return *connection_; }
    Connection* operator->() const { return connection_; }

   private:
    friend class ConnectionPool;
    explicit Lease(std::shared_ptr<Slot> slot);
    std::shared_ptr<Slot> slot_;
    Connection* connection_;
  };

  // A checked connection: this thread's current one of this pool, an idle
  // one, or a new one. Throws what connecting throws (an unreachable server
  // is DatabaseError unavailable), and DatabaseError unavailable when all
  // `size` connections stay in use for the pool's wait (kPoolWaitTimeout).
  Lease Acquire();

  std::size_t size() const { return size_; }
  // Connections open now, idle or on loan.
  std::size_t open_count() const;
  // Connections idle now.
  std::size_t idle_count() const;

 private:
  struct Idle {
    std::unique_ptr<Connection> connection;
    std::uint64_t generation;
  };

  void Return(std::unique_ptr<Connection> connection, std::uint64_t generation);
  Lease Wrap(std::unique_ptr<Connection> connection, std::uint64_t generation);

  Connector connect_;
  std::size_t size_;
  std::string name_;
  std::chrono::milliseconds wait_;
  mutable std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<Idle> idle_;
  std::size_t open_ = 0;
  // Raised whenever a connection proves unusable: idle and lent
  // connections of an older generation are closed when they are next met.
  std::uint64_t generation_ = 0;
};

// Registers a pool for its connection string while this object lives, so
// that FindPool (and PlanStore::Open) finds it. A later registration of the
// same string wins until it ends.
class PoolRegistration {
 public:
  PoolRegistration(std::string connection_string, ConnectionPool& pool);
  ~PoolRegistration();
  PoolRegistration(const PoolRegistration&) = delete;
  PoolRegistration& operator=(const PoolRegistration&) = delete;

 private:
  std::string connection_string_;
  ConnectionPool* pool_;
};

// The pool registered for exactly this connection string (surrounding
// blanks ignored), or null.
ConnectionPool* FindPool(const std::string& connection_string);

}  // namespace ostrand::store
