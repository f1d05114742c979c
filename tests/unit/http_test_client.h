// A small blocking HTTP/1.1 client for the tests, on plain sockets: one
// keep-alive connection to a loopback port, requests with headers and a
// body, replies read by their Content-Length. It takes nothing on trust
// from the server it tests: headers are kept as sent, Location is not
// decoded, and a reply that does not parse is no reply.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrand::web::testing {

// Form fields of a POST; a name may repeat.
using Params = std::multimap<std::string, std::string>;
using Headers = std::vector<std::pair<std::string, std::string>>;

struct Reply {
  int status = 0;
  Headers headers;
  std::string body;

  // The i-th value of the header (ASCII case ignored), or "".
  std::string get_header_value(std::string_view name, std::size_t i = 0) const {
    for (const auto& [key, value] : headers) {
      if (SameName(key, name) && i-- == 0) return value;
    }
    return "";
  }
  std::size_t get_header_value_count(std::string_view name) const {
    std::size_t count = 0;
    for (const auto& header : headers) count += SameName(header.first, name) ? 1 : 0;
    return count;
  }

 private:
  static bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i]))) {
        return false;
      }
    }
    return true;
  }
};

// A reply, or nothing when the connection failed or the reply did not parse.
using Result = std::optional<Reply>;

// A connected loopback socket with a receive time-out, or -1. A `source`
// address (127.0.0.2, ...: Linux routes all of 127/8 locally) makes the
// connection come from there.
inline int ConnectLoopback(int port, std::chrono::milliseconds timeout = std::chrono::seconds(20),
                           const std::string& source = "") {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (!source.empty()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::inet_pton(AF_INET, source.c_str(), &local.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      ::close(fd);
      return -1;
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

inline bool SendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Reads one reply from the socket; `pending` holds bytes read beyond the
// previous reply and keeps those beyond this one. `head_only`: a reply to
// HEAD, which has no body.
inline Result ReadReply(int fd, std::string& pending, bool head_only = false) {
  const auto fill = [&]() {
    char chunk[16384];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) return false;
    pending.append(chunk, static_cast<std::size_t>(got));
    return true;
  };
  std::size_t end = 0;
  while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
    if (!fill()) return std::nullopt;
  }
  Reply reply;
  const std::string head = pending.substr(0, end);
  pending.erase(0, end + 4);
  std::size_t line_end = head.find("\r\n");
  const std::string status_line = head.substr(0, line_end);
  if (status_line.rfind("HTTP/1.", 0) != 0 || status_line.size() < 12) return std::nullopt;
  reply.status = std::stoi(status_line.substr(9, 3));
  while (line_end != std::string::npos) {
    const std::size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    const std::string line = head.substr(start, line_end - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return std::nullopt;
    std::size_t value = colon + 1;
    while (value < line.size() && line[value] == ' ') ++value;
    reply.headers.emplace_back(line.substr(0, colon), line.substr(value));
  }
  const std::string length = reply.get_header_value("Content-Length");
  const std::size_t size = head_only || length.empty() ? 0 : std::stoul(length);
  while (pending.size() < size) {
    if (!fill()) return std::nullopt;
  }
  reply.body = pending.substr(0, size);
  pending.erase(0, size);
  return reply;
}

// Percent-encodes a form value or name (everything but A-Z a-z 0-9 - . _ ~).
inline std::string FormEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

// One keep-alive connection; reconnects when the server has closed it.
class HttpClient {
 public:
  // A client of the loopback port that waits up to `timeout` for a reply;
  // `source`: see ConnectLoopback.
  explicit HttpClient(int port, std::string source = "",
                      std::chrono::milliseconds timeout = std::chrono::seconds(20))
      : port_(port), source_(std::move(source)), timeout_(timeout) {}
  ~HttpClient() { Disconnect(); }
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  Result Send(std::string_view method, std::string_view target, const Headers& headers = {},
              std::string_view body = {}) {
    std::string request = std::string(method) + " " + std::string(target) + " HTTP/1.1\r\n";
    bool host = false;  // a Host of the caller's replaces the usual one
    for (const auto& [name, value] : headers) host = host || name == "Host";
    if (!host) request += "Host: 127.0.0.1:" + std::to_string(port_) + "\r\n";
    for (const auto& [name, value] : headers) request += name + ": " + value + "\r\n";
    if (!body.empty() || method == "POST") {
      request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    request += "\r\n";
    request += body;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const bool fresh = fd_ < 0;
      if (fresh) fd_ = ConnectLoopback(port_, timeout_, source_);
      if (fd_ < 0) return std::nullopt;
      pending_.clear();
      Result reply;
      if (SendAll(fd_, request)) reply = ReadReply(fd_, pending_, method == "HEAD");
      if (reply) {
        if (reply->get_header_value("Connection") == "close") Disconnect();
        return reply;
      }
      Disconnect();
      if (fresh) return std::nullopt;  // a kept connection may have timed out: try anew
    }
    return std::nullopt;
  }

  Result Get(std::string_view target, const Headers& headers = {}) {
    return Send("GET", target, headers);
  }
  Result Post(std::string_view target, const Params& form, Headers headers = {}) {
    std::string body;
    for (const auto& [name, value] : form) {
      if (!body.empty()) body += '&';
      body += FormEncode(name) + "=" + FormEncode(value);
    }
    headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
    return Send("POST", target, headers, body);
  }

  void Disconnect() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int port_;
  std::string source_;
  std::chrono::milliseconds timeout_;
  int fd_ = -1;
  std::string pending_;
};

}  // namespace ostrand::web::testing
