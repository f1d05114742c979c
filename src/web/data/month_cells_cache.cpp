#include "web/data/month_cells_cache.h"

#include <array>
#include <chrono>
#include <mutex>
#include <vector>

#include "core/value.h"
#include "store/connect.h"

namespace ostrand::web {
namespace {

// The highest numbered change, 0 when there is none.
std::int64_t LatestChangeNumber(store::Connection& db) {
  const store::RecordSet rows = db.Query("SELECT MAX(changeNumber) FROM hostCalendarChange");
  if (rows.Eof() || rows.Field(std::size_t{0}).is_null()) return 0;
  return static_cast<std::int64_t>(rows.Field(std::size_t{0}).ToNumber());
}

// The persons named by the numbered changes after `after` up to `upto`.
std::vector<std::string> ChangedPersons(store::Connection& db, std::int64_t after,
                                        std::int64_t upto) {
  const std::array params{store::SqlParam::Integer(after), store::SqlParam::Integer(upto)};
  store::RecordSet rows = db.Query(
      "SELECT DISTINCT personID FROM hostCalendarChange WHERE changeNumber > ? AND "
      "changeNumber <= ?",
      params);
  std::vector<std::string> persons;
  for (; !rows.Eof(); rows.MoveNext()) persons.push_back(rows.Field(std::size_t{0}).ToText());
  return persons;
}

std::size_t CostOf(std::string_view person, std::string_view context, std::string_view cells) {
  return sizeof(std::string) * 4 + person.size() + 2 * context.size() + cells.size() + 128;
}

// The context of a month's cells of the leader month summary.
std::string MonthContext(const DateTime& first) { return "m" + std::to_string(first.day()); }

}  // namespace

MonthCellsCache::Use MonthCellsCache::Begin() {
  // A look that begins after this page has begun sees every commit the
  // page could: when one has ended by the time the watcher is free, the
  // page takes its result rather than look again. Pages that arrive while
  // one looks thus share the next look.
  const std::uint64_t arrived_after = looks_begun_.load();
  // Pages check one after the other in microseconds; a quiet write that
  // waits for another program's write lock is not waited for.
  std::unique_lock watching(watcher_mutex_, std::defer_lock);
  if (!watching.try_lock_for(std::chrono::milliseconds(20))) return Use(nullptr, 0);
  if (last_look_ended_ <= arrived_after || watcher_ == nullptr) {
    const std::uint64_t look = ++looks_begun_;
    try {
      CheckWatched();
    } catch (const std::exception&) {
      // Whatever the cause, nothing kept can be trusted now.
      watcher_.reset();
      data_version_.reset();
      const std::lock_guard lock(mutex_);
      DropAllLocked();
      return Use(nullptr, 0);
    }
    last_look_ended_ = look;
    if (watcher_ == nullptr) return Use(nullptr, 0);
  }
  const std::lock_guard lock(mutex_);
  return Use(this, generation_);
}

bool MonthCellsCache::RunQuietly(const std::function<void(store::Connection&)>& write) {
  const std::lock_guard watching(watcher_mutex_);
  if (!ConnectWatcherLocked()) return false;
  try {
    write(*watcher_);
  } catch (...) {
    // The connection may be what failed: the next look starts afresh.
    watcher_.reset();
    data_version_.reset();
    throw;
  }
  return true;
}

void MonthCellsCache::CloseIfStale() noexcept {
  std::unique_lock watching(watcher_mutex_, std::try_to_lock);
  if (!watching.owns_lock() || watcher_ == nullptr) return;
  try {
    if (watcher_->IsUsable()) return;
  } catch (...) {
  }
  watcher_.reset();
  data_version_.reset();
}

bool MonthCellsCache::ConnectWatcherLocked() {
  if (other_engine_) return false;
  // A connection opened while the file could not be written keeps every
  // other connection of the process from writing it (they share its
  // memory map): it goes once the file is writable again.
  if (watcher_ != nullptr && !watcher_->IsUsable()) {
    watcher_.reset();
    data_version_.reset();
  }
  if (watcher_ == nullptr) {
    std::unique_ptr<store::Connection> db = store::Connect(connection_string_);
    if (db->engine() != store::Engine::kSqlite) {
      // Kept for good: no second connection per page to find out again.
      other_engine_ = true;
      return false;
    }
    watcher_ = std::move(db);
  }
  return true;
}

void MonthCellsCache::CheckWatched() {
  if (!ConnectWatcherLocked()) {
    const std::lock_guard lock(mutex_);
    DropAllLocked();
    return;
  }
  // The version first, then the numbers: a commit in between is seen
  // again at the next look (more is dropped, never less). The kept cells
  // stay open to the pages meanwhile.
  const store::RecordSet version = watcher_->Query("PRAGMA data_version");
  const std::int64_t now = static_cast<std::int64_t>(version.Field(std::size_t{0}).ToNumber());
  if (data_version_ == now) return;
  const std::int64_t latest = LatestChangeNumber(*watcher_);
  if (!data_version_ || latest <= applied_number_) {
    // The first look, or a commit that no new numbered change explains: it
    // may have touched any plan, a place or a kind of place.
    const std::lock_guard lock(mutex_);
    DropAllLocked();
  } else {
    const std::vector<std::string> changed = ChangedPersons(*watcher_, applied_number_, latest);
    const std::lock_guard lock(mutex_);
    for (const std::string& person : changed) DropPersonLocked(person);
  }
  applied_number_ = latest;
  data_version_ = now;
}

std::shared_ptr<const std::string> MonthCellsCache::Use::Find(std::string_view id,
                                                              const DateTime& first) {
  return FindCells(id, MonthContext(first));
}

void MonthCellsCache::Use::Offer(std::string_view id, const DateTime& first,
                                 std::string_view cells) {
  OfferCells(id, MonthContext(first), cells);
}

std::shared_ptr<const std::string> MonthCellsCache::Use::FindCells(std::string_view person,
                                                                   std::string_view context) {
  if (cache_ == nullptr) return nullptr;
  return cache_->Find(person, context);
}

void MonthCellsCache::Use::OfferCells(std::string_view person, std::string_view context,
                                      std::string_view cells) {
  if (cache_ != nullptr) cache_->Offer(generation_, person, context, cells);
}

std::shared_ptr<const std::string> MonthCellsCache::Find(std::string_view person,
                                                         std::string_view context) {
  const std::lock_guard lock(mutex_);
  const auto state = persons_.find(std::string(person));
  if (state == persons_.end()) return nullptr;
  const auto found = state->second.months.find(context);
  if (found == state->second.months.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, found->second);
  return found->second->cells;
}

void MonthCellsCache::Offer(std::uint64_t generation, std::string_view person,
                            std::string_view context, std::string_view cells) {
  const std::size_t cost = CostOf(person, context, cells);
  if (cost > max_bytes_ || max_entries_ == 0) return;
  // The copy is made before the lock is taken.
  auto kept = std::make_shared<const std::string>(cells);
  const std::lock_guard lock(mutex_);
  if (generation < all_dropped_at_) return;
  PersonState& state = persons_[std::string(person)];
  if (generation < state.changed_at) return;
  if (const auto old = state.months.find(context); old != state.months.end()) {
    DropEntryLocked(old->second);
  }
  while (!entries_.empty() && (entries_.size() >= max_entries_ || bytes_ + cost > max_bytes_)) {
    DropEntryLocked(std::prev(entries_.end()));
  }
  // Persons that hold nothing keep only their last change; beyond a bound
  // of those, everything starts afresh.
  if (persons_.size() > 4 * max_entries_) {
    DropAllLocked();
    return;
  }
  PersonState& target = persons_[std::string(person)];
  entries_.push_front(Entry{std::string(person), std::string(context), std::move(kept), cost});
  target.months.insert_or_assign(std::string(context), entries_.begin());
  bytes_ += cost;
}

void MonthCellsCache::DropEntryLocked(std::list<Entry>::iterator entry) {
  const auto state = persons_.find(entry->person);
  if (state != persons_.end()) state->second.months.erase(entry->context);
  bytes_ -= entry->bytes;
  entries_.erase(entry);
}

void MonthCellsCache::DropPersonLocked(const std::string& person) {
  PersonState& state = persons_[person];
  state.changed_at = ++generation_;
  for (const auto& [month, entry] : state.months) {
    bytes_ -= entry->bytes;
    entries_.erase(entry);
  }
  state.months.clear();
}

void MonthCellsCache::DropAllLocked() {
  entries_.clear();
  persons_.clear();
  bytes_ = 0;
  all_dropped_at_ = ++generation_;
}

std::size_t MonthCellsCache::size() const {
  const std::lock_guard lock(mutex_);
  return entries_.size();
}

std::size_t MonthCellsCache::bytes() const {
  const std::lock_guard lock(mutex_);
  return bytes_;
}

}  // namespace ostrand::web
