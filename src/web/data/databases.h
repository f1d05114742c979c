// Databases: where every request of the web host gets its database
// connections, the host's own (sign-in, pickers, the editor) and the
// component's (its Init). This is the one place that opens them; today
// each request opens its own, and a connection pool slots in here.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "web/data/host_database.h"

namespace ostrand {
class Schedulers;
}

namespace ostrand::web {

// The message of the 503 page when the database cannot be opened.
inline constexpr std::string_view kDatabaseUnavailable = "数据库暂时不可用，请稍后再试。";

class Databases {
 public:
  // Remembers the connection string; opens nothing yet.
  explicit Databases(std::string connection_string)
      : connection_string_(std::move(connection_string)) {}
  Databases(const Databases&) = delete;
  Databases& operator=(const Databases&) = delete;

  // A host connection for one request, used by one thread at a time. Throws
  // HttpError 503 (kDatabaseUnavailable, the database's message as the
  // cause) when the database cannot be opened.
  std::unique_ptr<HostDatabase> OpenHost() const;

  // Connects a component instance (its Init with the connection string).
  // Throws the component's Error when the database refuses.
  void ConnectComponent(Schedulers& object) const;

  const std::string& connection_string() const { return connection_string_; }

  // Opens one connection and keeps it open until the object goes, so that
  // SQLite keeps the database's write-ahead log and shared memory between
  // requests rather than making and deleting them with every request's
  // connections. Throws Error as HostDatabase does.
  void KeepOpen();

 private:
  std::string connection_string_;
  std::unique_ptr<HostDatabase> kept_;
};

}  // namespace ostrand::web
