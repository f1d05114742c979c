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
#include "store/literal_lifting.h"
#include "store/settings.h"
#include "store/statement_cache.h"

namespace ostrand::store {

struct PlanStore::Impl {
  std::unique_ptr<Connection> owned;
  std::optional<ConnectionPool::Lease> lease;
  Connection* connection = nullptr;
  // Translated shapes of this store's engine: the component sends a handful.
  std::unordered_map<std::string, std::string, SqlTextHash, std::equal_to<>> translated;
  Engine engine = Engine::kSqlite;

  const std::string& Translated(const std::string& shape) {
    const auto found = translated.find(shape);
    if (found != translated.end()) return found->second;
    if (translated.size() >= kStatementCacheSize) translated.clear();
    return translated.emplace(shape, TranslateTsql(shape, engine)).first->second;
  }
};

PlanStore::PlanStore() : impl_(std::make_unique<Impl>()) {}

PlanStore::~PlanStore() = default;

bool PlanStore::IsOpen() const { return impl_->connection != nullptr; }

void PlanStore::Close() {
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
  }
  if (impl_->connection->engine() != impl_->engine) impl_->translated.clear();
  impl_->engine = impl_->connection->engine();
}

Connection& PlanStore::connection() {
  if (!IsOpen()) throw Error("no open database connection");
  return *impl_->connection;
}

RecordSet PlanStore::Query(const std::string& tsql) {
  Connection& db = connection();
  const LiftedQuery lifted = LiftLiterals(tsql);
  const std::string& sql = impl_->Translated(lifted.shape);
  try {
    return db.Query(sql, lifted.params);
  } catch (const DatabaseError& e) {
    if (e.unavailable()) throw;
    // Name the text the component built (as its debug trace shows it), not
    // the prepared shape.
    throw DatabaseError::Statement(e.reason(), tsql);
  }
}

void PlanStore::Execute(const std::string& sql) { connection().ExecuteScript(sql); }

}  // namespace ostrand::store
