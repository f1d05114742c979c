#include "web/http/url.h"

#include "core/hex.h"

namespace ostrand::web::http {
namespace {

bool KeepsItself(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

void AppendPercentEncoded(std::string& out, std::string_view text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (KeepsItself(u)) {
      out += c;
    } else {
      out += '%';
      AppendHexByte(out, u, HexCase::kUpper);
    }
  }
}

std::string PercentEncode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendPercentEncoded(out, text);
  return out;
}

std::string LinkWithQuery(std::string_view path, std::initializer_list<QueryItem> items) {
  std::string link(path);
  char separator = '?';
  for (const QueryItem& item : items) {
    link += separator;
    link += item.name;
    link += '=';
    AppendPercentEncoded(link, item.value);
    separator = '&';
  }
  return link;
}

std::string PercentDecode(std::string_view text, bool plus_is_space) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && text.size() - i >= 3) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += plus_is_space && c == '+' ? ' ' : c;
  }
  return out;
}

TargetParts SplitTarget(std::string_view target) {
  const std::size_t hash = target.find('#');
  if (hash != std::string_view::npos) target = target.substr(0, hash);
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) return {target, {}};
  return {target.substr(0, question), target.substr(question + 1)};
}

}  // namespace ostrand::web::http
