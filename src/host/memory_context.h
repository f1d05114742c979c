// In-memory page objects for the command line and the tests: a response that
// collects its output, a request with a fixed URL, a session in a map, and a
// clock that reads the system time or is pinned to a fixed value.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "host/page_context.h"

namespace ostrand::host {

class MemoryResponse : public Response {
 public:
  void Write(std::string_view text) override { out_.append(text); }
  const std::string& text() const { return out_; }
  void Clear() { out_.clear(); }

 private:
  std::string out_;
};

class MemoryRequest : public Request {
 public:
  explicit MemoryRequest(std::string url = "/") : url_(std::move(url)) {}
  Value ServerVariable(std::string_view name) const override;

 private:
  std::string url_;
};

class MemorySession : public Session {
 public:
  Value Get(std::string_view key) const override;
  void Set(std::string_view key, const Value& value) override;
  struct Item {
    std::string key;  // as first stored
    Value value;
  };
  // Items by key in ASCII lower case.
  const std::map<std::string, Item>& items() const { return items_; }

 private:
  std::map<std::string, Item> items_;
};

class SystemClock : public Clock {
 public:
  float SecondsSinceMidnight() const override;
};

class PinnedClock : public Clock {
 public:
  explicit PinnedClock(float seconds) : seconds_(seconds) {}
  float SecondsSinceMidnight() const override { return seconds_; }

 private:
  float seconds_;
};

// A scripting context over the objects above; any may be left null.
class MemoryContext : public ScriptingContext {
 public:
  MemoryContext(std::shared_ptr<Response> response, std::shared_ptr<Request> request,
                std::shared_ptr<Session> session)
      : response_(std::move(response)),
        request_(std::move(request)),
        server_(std::make_shared<Server>()),
        application_(std::make_shared<Application>()),
        session_(std::move(session)) {}

  std::shared_ptr<Response> response() const override { return response_; }
  std::shared_ptr<Request> request() const override { return request_; }
  std::shared_ptr<Server> server() const override { return server_; }
  std::shared_ptr<Application> application() const override { return application_; }
  std::shared_ptr<Session> session() const override { return session_; }

 private:
  std::shared_ptr<Response> response_;
  std::shared_ptr<Request> request_;
  std::shared_ptr<Server> server_;
  std::shared_ptr<Application> application_;
  std::shared_ptr<Session> session_;
};

}  // namespace ostrand::host
