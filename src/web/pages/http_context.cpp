#include "web/pages/http_context.h"

namespace ostrand::web {
namespace {

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

HttpRequest::HttpRequest(std::map<std::string, std::string> variables) {
  for (auto& [name, value] : variables) variables_[UpperAscii(name)] = std::move(value);
}

Value HttpRequest::ServerVariable(std::string_view name) const {
  const auto found = variables_.find(UpperAscii(name));
  return Value::Text(found == variables_.end() ? std::string() : found->second);
}

}  // namespace ostrand::web
