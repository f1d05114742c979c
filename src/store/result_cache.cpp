#include "store/result_cache.h"

#include <cstring>

namespace ostrand::store {
namespace {

// What an entry costs: its key, its values and the text they hold.
std::size_t SizeOf(std::string_view key, const RecordSet::Table& table) {
  std::size_t bytes = sizeof(RecordSet::Table) + key.size() + 64;
  for (const std::string& column : table.columns) bytes += sizeof(column) + column.size();
  for (const std::vector<Value>& row : table.rows) {
    bytes += sizeof(row) + row.size() * sizeof(Value);
    for (const Value& value : row) {
      if (value.is_text()) bytes += value.text().size();
    }
  }
  return bytes;
}

void AppendInteger(std::string& key, std::int64_t value) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  key.append(bytes, sizeof bytes);
}

}  // namespace

std::string ResultCache::Key(std::string_view sql, std::span<const SqlParam> params) {
  std::string key(sql);
  for (const SqlParam& param : params) {
    key += '\0';
    key += static_cast<char>('0' + static_cast<int>(param.kind()));
    switch (param.kind()) {
      case SqlParam::Kind::kNull:
        break;
      case SqlParam::Kind::kInteger:
        AppendInteger(key, param.integer());
        break;
      case SqlParam::Kind::kReal: {
        std::int64_t bits = 0;
        const double real = param.real();
        std::memcpy(&bits, &real, sizeof bits);
        AppendInteger(key, bits);
        break;
      }
      case SqlParam::Kind::kText:
        // The length first, so that no text can pose as the values after it.
        AppendInteger(key, static_cast<std::int64_t>(param.text().size()));
        key += param.text();
        break;
      case SqlParam::Kind::kDate:
      case SqlParam::Kind::kTimestamp:
        key += DateParamText(param);
        break;
    }
  }
  return key;
}

void ResultCache::Validate(std::int64_t version) {
  if (version_ != version) {
    Clear();
    version_ = version;
  }
}

ResultCache::Table ResultCache::Find(std::string_view key) {
  const auto found = index_.find(key);
  if (found == index_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, found->second);
  return found->second->table;
}

void ResultCache::Insert(std::string key, Table table) {
  if (!table || !version_) return;
  const std::size_t bytes = SizeOf(key, *table);
  if (bytes > kResultCacheBytes) return;
  if (const auto found = index_.find(key); found != index_.end()) {
    bytes_ -= found->second->bytes;
    entries_.erase(found->second);
    index_.erase(found);
  }
  while (!entries_.empty() &&
         (entries_.size() >= kResultCacheEntries || bytes_ + bytes > kResultCacheBytes)) {
    DropOldest();
  }
  entries_.push_front(Entry{std::move(key), std::move(table), bytes});
  index_.emplace(entries_.front().key, entries_.begin());
  bytes_ += bytes;
}

std::shared_ptr<const void> ResultCache::FindValue(std::string_view name) const {
  const auto found = values_.find(name);
  return found == values_.end() ? nullptr : found->second;
}

void ResultCache::InsertValue(std::string name, std::shared_ptr<const void> value) {
  if (!value || !version_) return;
  if (values_.size() >= kKeptValues) values_.clear();
  values_.insert_or_assign(std::move(name), std::move(value));
}

void ResultCache::Clear() {
  values_.clear();
  index_.clear();
  entries_.clear();
  bytes_ = 0;
  version_.reset();
}

void ResultCache::DropOldest() {
  index_.erase(entries_.back().key);
  bytes_ -= entries_.back().bytes;
  entries_.pop_back();
}

}  // namespace ostrand::store
