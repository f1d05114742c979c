#include "web/http/request.h"

#include "core/text.h"

namespace ostrand::web::http {

std::string_view Request::HeaderValue(std::string_view name) const {
  for (const Header& header : headers) {
    if (EqualsNoCase(header.name, name)) return header.value;
  }
  return {};
}

}  // namespace ostrand::web::http
