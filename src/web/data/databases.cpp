#include "web/data/databases.h"

#include "component/schedulers.h"
#include "web/http/http_error.h"

namespace ostrand::web {

std::unique_ptr<HostDatabase> Databases::OpenHost() const {
  try {
    return std::make_unique<HostDatabase>(connection_string_);
  } catch (const std::exception& e) {
    throw HttpError(503, std::string(kDatabaseUnavailable), e.what());
  }
}

void Databases::KeepOpen() { kept_ = std::make_unique<HostDatabase>(connection_string_); }

void Databases::ConnectComponent(Schedulers& object) const {
  object.Init(Value::Text(connection_string_));
}

}  // namespace ostrand::web
