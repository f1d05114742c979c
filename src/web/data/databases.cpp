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
  try {
    return pool_.Acquire();
  } catch (const std::exception& e) {
    throw Error(e.what(), ErrorKind::kUnavailable);
  }
}

void Databases::ConnectComponent(Schedulers& object) const {
  object.Init(Value::Text(connection_string_));
}

}  // namespace ostrand::web
