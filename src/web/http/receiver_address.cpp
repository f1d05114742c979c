#include "web/http/receiver_address.h"

#include "core/text.h"
#include "web/http/site_address.h"

namespace ostrand::web::http {
namespace {

// The length of the scheme and "://" when `text` starts with either, or 0.
std::size_t SchemeLength(std::string_view text) {
  for (const std::string_view scheme : {std::string_view("https://"), std::string_view("http://")}) {
    if (text.size() < scheme.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < scheme.size() && same; ++i) {
      char c = text[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      same = c == scheme[i];
    }
    if (same) return scheme.size();
  }
  return 0;
}

ReceiverAddress Refused(ReceiverAddressProblem problem) { return {{}, problem}; }

}  // namespace

ReceiverAddress ReadReceiverAddress(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty()) return Refused(ReceiverAddressProblem::kEmpty);
  if (text.size() > kLongestReceiverAddress) return Refused(ReceiverAddressProblem::kTooLong);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    // What a URL never holds unencoded; a backslash is a slash to some
    // clients, which would move the host.
    if (byte <= 0x20 || byte >= 0x7F || std::string_view("\\<>\"{}|^`").find(c) != std::string_view::npos) {
      return Refused(ReceiverAddressProblem::kCharacters);
    }
  }
  const std::size_t scheme = SchemeLength(text);
  if (scheme == 0) return Refused(ReceiverAddressProblem::kScheme);
  if (text.find('#') != std::string_view::npos) return Refused(ReceiverAddressProblem::kFragment);
  const std::string_view rest = text.substr(scheme);
  const std::size_t end = rest.find_first_of("/?");
  const std::string_view authority = rest.substr(0, end);
  if (authority.find('@') != std::string_view::npos) {
    return Refused(ReceiverAddressProblem::kUserInfo);
  }
  if (authority.empty()) return Refused(ReceiverAddressProblem::kNoHost);
  const std::optional<std::string> host = ReadHostHeader(authority);
  if (!host) return Refused(ReceiverAddressProblem::kBadHost);
  std::string address(text.substr(0, scheme));
  for (char& c : address) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  address += *host;
  if (end != std::string_view::npos) address += rest.substr(end);
  return {std::move(address), std::nullopt};
}

}  // namespace ostrand::web::http
