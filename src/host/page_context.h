// What the component calls on the page that hosts it: a response sink, the
// request's server variables, the session, and the clock. A host supplies
// these through a ScriptingContext handed to OnStartPage; the component holds
// the objects (shared ownership) until OnEndPage releases them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/value.h"

namespace ostrand::host {

// Output of the page. Write appends at the moment of the call.
class Response {
 public:
  virtual ~Response() = default;
  virtual void Write(std::string_view text) = 0;
};

// The request being served.
class Request {
 public:
  virtual ~Request() = default;
  // The server variable of that name ("URL": the page's path); an unknown
  // variable reads as the empty text.
  virtual Value ServerVariable(std::string_view name) const = 0;
};

// Items the host pages keep for the signed-in person.
class Session {
 public:
  virtual ~Session() = default;
  // The item stored under key (keys compare without regard to ASCII case);
  // an item never set reads as the empty value.
  virtual Value Get(std::string_view key) const = 0;
  virtual void Set(std::string_view key, const Value& value) = 0;
};

// Objects the component holds for the page but never calls.
class Server : public HostObject {};
class Application : public HostObject {};

// The server clock, as the links' time stamps need it.
class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since local midnight, in single precision.
  virtual float SecondsSinceMidnight() const = 0;
};

// The scripting context of one page: hands out the five page objects. Any of
// them may be missing (null), in which case the member that needs it fails.
class ScriptingContext : public HostObject {
 public:
  virtual std::shared_ptr<Response> response() const = 0;
  virtual std::shared_ptr<Request> request() const = 0;
  virtual std::shared_ptr<Server> server() const = 0;
  virtual std::shared_ptr<Application> application() const = 0;
  virtual std::shared_ptr<Session> session() const = 0;
};

}  // namespace ostrand::host
