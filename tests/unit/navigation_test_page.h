// A page for the navigation and furniture tests: a Schedulers instance over
// in-memory page objects that count what the members read and write, with a
// clock pinned at 45296.78 unless a test sets another.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "component/schedulers.h"
#include "core/error.h"
#include "host/memory_context.h"
#include "test_support.h"

namespace ostrand::testing_page {

// A session that counts the reads of each key (lower-case).
class CountingSession : public host::MemorySession {
 public:
  Value Get(std::string_view key) const override {
    std::string lower(key);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ++reads_[lower];
    return MemorySession::Get(key);
  }
  int reads(const std::string& key) const {
    const auto it = reads_.find(key);
    return it == reads_.end() ? 0 : it->second;
  }

 private:
  mutable std::map<std::string, int> reads_;
};

// A response that keeps each write apart.
class CountingResponse : public host::MemoryResponse {
 public:
  void Write(std::string_view text) override {
    writes_.emplace_back(text);
    MemoryResponse::Write(text);
  }
  const std::vector<std::string>& writes() const { return writes_; }

 private:
  std::vector<std::string> writes_;
};

// A clock that moves on by one second at every reading.
class SteppingClock : public host::Clock {
 public:
  explicit SteppingClock(float first) : next_(first) {}
  float SecondsSinceMidnight() const override { return next_++; }

 private:
  mutable float next_;
};

inline Value D(int y, int m, int d, int hh = 0, int mi = 0, int ss = 0) {
  return Value::Date(DateTime::FromCivil(y, m, d, hh, mi, ss));
}

// The message of the Error that `action` throws; "(no error)" when none.
template <typename F>
std::string ErrorOf(F&& action) {
  return test_support::ErrorOf(action, "(no error)");
}

// Every value that follows `key` in `text`, up to the next '&' or quote.
inline std::vector<std::string> QueryValues(const std::string& text, const std::string& key) {
  std::vector<std::string> values;
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
    at += key.size();
    values.push_back(text.substr(at, text.find_first_of("&'", at) - at));
  }
  return values;
}

inline int Occurrences(const std::string& text, const std::string& piece) {
  int n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos;
       at = text.find(piece, at + piece.size())) {
    ++n;
  }
  return n;
}

class FurniturePage : public ::testing::Test {
 protected:
  // Creates the instance on the current clock and starts the page at `url`.
  Schedulers& Start(const std::string& url = "/Sched/personMonth.asp") {
    object_ = std::make_unique<Schedulers>(clock_);
    object_->OnStartPage(Value::Object(std::make_shared<host::MemoryContext>(
        response_, std::make_shared<host::MemoryRequest>(url), session_)));
    return *object_;
  }

  std::shared_ptr<const host::Clock> clock_ = std::make_shared<host::PinnedClock>(45296.78f);
  std::shared_ptr<CountingResponse> response_ = std::make_shared<CountingResponse>();
  std::shared_ptr<CountingSession> session_ = std::make_shared<CountingSession>();
  std::unique_ptr<Schedulers> object_;
};

}  // namespace ostrand::testing_page
