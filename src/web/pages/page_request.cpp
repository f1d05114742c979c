#include "web/pages/page_request.h"

namespace ostrand::web {

std::optional<std::string> FindField(const FormFields& fields, std::string_view name) {
  const auto found = fields.find(std::string(name));
  if (found == fields.end()) return std::nullopt;
  return found->second;
}

std::string FieldOrEmpty(const FormFields& fields, std::string_view name) {
  return FindField(fields, name).value_or(std::string());
}

}  // namespace ostrand::web
