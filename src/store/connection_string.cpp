#include "store/connection_string.h"

#include <string_view>

#include "core/error.h"
#include "core/text.h"

namespace ostrand::store {

ConnectionTarget ParseConnectionString(const std::string& connection_string) {
  const std::string_view text = TrimWhitespace(connection_string);
  if (text.empty()) throw Error("no connection string");
  ConnectionTarget target;
  if (StartsWithNoCase(text, "sqlite:")) {
    target.database = std::string(text.substr(7));
    if (target.database.empty()) {
      throw Error("no database path in connection string '" + connection_string + "'");
    }
  } else if (EndsWithNoCase(text, ".db")) {
    target.database = std::string(text);
  } else {
    throw Error("unsupported connection string '" + connection_string + "'");
  }
  target.in_memory = target.database == ":memory:";
  return target;
}

}  // namespace ostrand::store
