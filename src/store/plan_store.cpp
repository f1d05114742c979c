#include "store/plan_store.h"

#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>

#include "core/error.h"
#include "store/connect.h"
#include "store/connection_pool.h"
#include "store/database_error.h"
#include "store/dialect.h"
#include "store/settings.h"
#include "store/statement_cache.h"

namespace ostrand::store {

struct PlanStore::Impl {
  std::unique_ptr<Connection> owned;
  std::optional<ConnectionPool::Lease> lease;
  Connection* connection = nullptr;
};

PlanStore::PlanStore() : impl_(std::make_unique<Impl>()) {}

PlanStore::~PlanStore() = default;

bool PlanStore::IsOpen() const { return impl_->connection != nullptr; }

void PlanStore::Close() {
  if (impl_->owned) impl_->owned->EndReads();
  impl_->connection = nullptr;
  impl_->owned.reset();
  impl_->lease.reset();
}

void PlanStore::Open(const std::string& connection_string) {
  Close();
  if (ConnectionPool* pool = FindPool(connection_string)) {
    impl_->lease = pool->Acquire();
    impl_->connection = &**impl_->lease;
  } else {
    impl_->owned = Connect(connection_string);
    impl_->connection = impl_->owned.get();
    // A page's own connection, from Init to OnEndPage: its queries read one
    // snapshot (a leader month of many persons is read as of one moment, and
    // the read lock is taken once). A pooled connection belongs to the web
    // host's request instead.
    impl_->owned->BeginReads();
  }
}

Connection& PlanStore::connection() {
  if (!IsOpen()) throw Error("no open database connection");
  return *impl_->connection;
}

RecordSet PlanStore::Query(const std::string& tsql) {
  Connection& db = connection();
  try {
    // Pooled connections outlive the page: a text is lifted and translated
    // once per connection, not once per page.
    const Connection::ComponentQuery& query = db.Prepared(tsql);
    // The component only reads the schedule: its rows may come from the
    // connection's result cache while the database is unchanged.
    return db.QueryStored(*query.sql, query.params);
  } catch (const DatabaseError& e) {
    if (e.unavailable()) throw;
    // Name the text the component built (as its debug trace shows it), not
    // the prepared shape.
    throw DatabaseError::Statement(e.reason(), tsql);
  }
}

void PlanStore::Execute(const std::string& sql) { connection().ExecuteScript(sql); }

}  // namespace ostrand::store
