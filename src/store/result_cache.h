// ResultCache: the rows of read-only queries that a connection keeps while
// its database stays unchanged, so that a query that runs again with the
// same values is answered without running it. The owner stamps the cache
// with the database's data version before each lookup (Validate); any other
// version drops every entry, so the cache never answers from rows older
// than the last change it was told of. Bounded by kResultCacheEntries and
// kResultCacheBytes; the least recently used entry goes first. Used by one
// thread at a time, as its connection is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "store/record_set.h"
#include "store/settings.h"
#include "store/sql_param.h"
#include "store/statement_cache.h"

namespace ostrand::store {

class ResultCache {
 public:
  using Table = std::shared_ptr<const RecordSet::Table>;

  ResultCache() = default;
  ResultCache(const ResultCache&) = delete;
  ResultCache& operator=(const ResultCache&) = delete;

  // The key of a statement text run with these values: the text and each
  // value with its kind, so that 5 and '5' are different keys.
  static std::string Key(std::string_view sql, std::span<const SqlParam> params);

  // Keeps the entries when they were read at `version`, drops them all
  // otherwise; later inserts belong to `version`.
  void Validate(std::int64_t version);

  // The rows kept for `key`, or null. A hit counts as a use.
  Table Find(std::string_view key);

  // Keeps `table` for `key` unless it alone is larger than the cache may
  // hold; drops the least recently used entries to make room.
  void Insert(std::string key, Table table);

  // A value made from kept rows under its own name (Connection::KeptValue),
  // or null. Values go with the rows: Validate and Clear drop them too.
  std::shared_ptr<const void> FindValue(std::string_view name) const;

  // Keeps `value` under `name` unless no version was validated; beyond
  // kKeptValues values the others are dropped first.
  void InsertValue(std::string name, std::shared_ptr<const void> value);

  // Drops every entry (after a write through the owning connection).
  void Clear();

  std::size_t size() const { return entries_.size(); }
  std::size_t bytes() const { return bytes_; }

 private:
  struct Entry {
    std::string key;
    Table table;
    std::size_t bytes;
  };
  void DropOldest();

  std::optional<std::int64_t> version_;
  std::list<Entry> entries_;  // most recently used first
  std::unordered_map<std::string_view, std::list<Entry>::iterator, SqlTextHash> index_;
  std::size_t bytes_ = 0;
  std::unordered_map<std::string, std::shared_ptr<const void>, SqlTextHash, std::equal_to<>>
      values_;
};

}  // namespace ostrand::store
