// StatementCache: the prepared statements of one connection, by SQL text,
// at most kStatementCacheSize of them; beyond that the least recently used
// one is dropped (its owner's destructor finalizes it). Every backend keeps
// its handles here, so each text is prepared once per connection.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "store/settings.h"

namespace ostrand::store {

// Handle: a movable owner of one prepared statement (a unique_ptr with the
// backend's deleter, or a small class).
// Hashes std::string and std::string_view alike, so lookups by view need no
// copy of the text.
struct SqlTextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

template <typename Handle>
class StatementCache {
 public:
  explicit StatementCache(std::size_t capacity = kStatementCacheSize) : capacity_(capacity) {}
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  // The statement prepared for `sql`, or null when there is none. A hit
  // counts as a use.
  Handle* Find(std::string_view sql) {
    const auto found = index_.find(sql);
    if (found == index_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, found->second);
    return &found->second->second;
  }

  // Keeps `handle` for `sql` (replacing any held for it) and returns it;
  // drops the least recently used statement when full.
  Handle& Insert(std::string_view sql, Handle handle) {
    Erase(sql);
    if (capacity_ > 0 && entries_.size() >= capacity_) {
      index_.erase(entries_.back().first);
      entries_.pop_back();
    }
    entries_.emplace_front(std::string(sql), std::move(handle));
    index_[entries_.front().first] = entries_.begin();
    return entries_.front().second;
  }

  // Drops the statement of `sql`, if any.
  void Erase(std::string_view sql) {
    const auto found = index_.find(sql);
    if (found == index_.end()) return;
    entries_.erase(found->second);
    index_.erase(found);
  }

  // Drops every statement.
  void Clear() {
    index_.clear();
    entries_.clear();
  }

  std::size_t size() const { return entries_.size(); }

 private:
  using Entry = std::pair<std::string, Handle>;
  std::size_t capacity_;
  std::list<Entry> entries_;  // most recently used first
  std::unordered_map<std::string, typename std::list<Entry>::iterator, SqlTextHash,
                     std::equal_to<>>
      index_;
};

}  // namespace ostrand::store
