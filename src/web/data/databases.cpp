#include "web/data/databases.h"

#include "component/schedulers.h"
#include "core/error.h"

namespace ostrand::web {

Databases::Databases(std::string connection_string, std::size_t pool_size)
    : connection_string_(std::move(connection_string)),
      pool_(connection_string_, pool_size),
      registration_(connection_string_, pool_),
      month_cells_(connection_string_) {}

store::ConnectionPool::Lease Databases::OpenHost() const {
  // The cache's connection goes first when the pool's would be renewed
  // for the same reason (a read-only spell over): they share the file.
  month_cells_.CloseIfStale();
  try {
    return pool_.Acquire();
  } catch (const std::exception& e) {
    throw Error(e.what(), ErrorKind::kUnavailable);
  }
}

void Databases::RunQuietly(const std::function<void(store::Connection&)>& write) const {
  if (month_cells_.RunQuietly(write)) return;
  write(*OpenHost());
}

void Databases::ConnectComponent(Schedulers& object) const {
  object.Init(Value::Text(connection_string_));
}

}  // namespace ostrand::web
