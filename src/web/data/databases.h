// Databases: where every request of the web host gets its database
// connection, for the host's own work (sign-in, pickers, the editor) and the
// component's (its Init). This is the one place that hands them out: a
// bounded pool of connections per process (store/connection_pool.h),
// registered for the connection string, so that the component's Init in a
// page leases the page's own connection and no request opens one.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "store/connection_pool.h"
#include "web/data/month_cells_cache.h"

namespace ostrand {
class Schedulers;
}

namespace ostrand::web {

class Databases {
 public:
  // A pool of at most `pool_size` connections for the connection string;
  // opens nothing yet.
  Databases(std::string connection_string, std::size_t pool_size);
  Databases(const Databases&) = delete;
  Databases& operator=(const Databases&) = delete;

  // The request's connection, used by one thread at a time; on one thread
  // the same one until every lease of it has gone. Throws Error of kind
  // kUnavailable with the database's message when the database cannot be
  // reached or every connection stays in use (a page answers it with 503).
  store::ConnectionPool::Lease OpenHost() const;

  // Connects a component instance (its Init with the connection string),
  // which leases the calling thread's connection. Throws the component's
  // Error when the database refuses.
  void ConnectComponent(Schedulers& object) const;

  // Runs `write` where its commits are not taken for changes of plans
  // (MonthCellsCache::RunQuietly), or on the calling thread's pooled
  // connection when the cache keeps nothing. For writers of the outbox and
  // its deliveries only. Throws what `write` or the connection throws.
  void RunQuietly(const std::function<void(store::Connection&)>& write) const;

  const std::string& connection_string() const { return connection_string_; }

  // The leader summaries' kept day cells of this database, shared by every
  // request (web/data/month_cells_cache.h).
  MonthCellsCache& month_cells() const { return month_cells_; }

 private:
  std::string connection_string_;
  mutable store::ConnectionPool pool_;
  store::PoolRegistration registration_;
  mutable MonthCellsCache month_cells_;
};

}  // namespace ostrand::web
