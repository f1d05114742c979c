// MonthCellsCache: the day cells of persons' months (views::DispPersonMonth)
// that a web host keeps from one leader page to the next, so that a summary
// of a thousand persons reads and renders again only the persons whose
// plans changed.
//
// Kept cells are checked against what the database says at the start of
// every page (Begin), on a connection of the cache's own that only reads:
//   - nothing committed since the last look (SQLite's data_version, which
//     moves at every commit of any other connection, of this process or
//     another): every kept cell stands;
//   - new numbered plan changes (hostCalendarChange, which the day editor,
//     the calendar programs' writes and `import-plans` add to, in this
//     process or another): the cells of exactly the persons they name go;
//   - a commit that no new numbered change explains (another program
//     writing the tables, the administration, pruning), a failed check, or
//     an engine other than SQLite (which keeps nothing): every kept cell
//     goes.
// A commit of another program that lands between two looks together with
// a numbered change is taken for the numbered change alone: programs other
// than ostrand that write plans while it serves should go through
// `import-plans` or the pages.
//
// Writers of tables that no kept cell is rendered from (the outbox of
// events and its deliveries) commit through RunQuietly, on the cache's own
// connection: SQLite's data_version does not move for a connection's own
// commits, so that their commits leave every kept cell standing.
//
// Cells rendered by a page are kept only when no change of their person
// was applied after that page began: a page that read older rows never
// overwrites newer knowledge. Bounded by kMonthCellsEntries cells and
// about kMonthCellsBytes bytes; the least recently used go first.
// Thread-safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "store/connection.h"
#include "views/leader_month.h"

namespace ostrand::web {

// At most this many persons' months, and about this many bytes of cells: a
// leader month of 1,000 persons (10 plans each) is about 1.4 MB, so eight
// such months fit.
inline constexpr std::size_t kMonthCellsEntries = 8192;
inline constexpr std::size_t kMonthCellsBytes = std::size_t{12} << 20;

class MonthCellsCache {
 public:
  // Opens nothing yet: the connection to `connection_string` is made at
  // the first Begin (again after a failure).
  explicit MonthCellsCache(std::string connection_string,
                           std::size_t max_entries = kMonthCellsEntries,
                           std::size_t max_bytes = kMonthCellsBytes)
      : connection_string_(std::move(connection_string)),
        max_entries_(max_entries),
        max_bytes_(max_bytes) {}
  MonthCellsCache(const MonthCellsCache&) = delete;
  MonthCellsCache& operator=(const MonthCellsCache&) = delete;

  // The cache as one page uses it: the cells valid when the page began.
  // Must not outlive the cache.
  class Use final : public views::KeptMonthCells {
   public:
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    std::shared_ptr<const std::string> Find(std::string_view id, const DateTime& first) override;
    void Offer(std::string_view id, const DateTime& first, std::string_view cells) override;

    // The same for the cells of another page: `context` names everything
    // besides the person's plans that they depend on (the period, the
    // marks of the days), and must not start with 'm'.
    std::shared_ptr<const std::string> FindCells(std::string_view person,
                                                 std::string_view context);
    void OfferCells(std::string_view person, std::string_view context, std::string_view cells);

   private:
    friend class MonthCellsCache;
    Use(MonthCellsCache* cache, std::uint64_t generation) : cache_(cache), generation_(generation) {}
    MonthCellsCache* cache_;  // null: keeps nothing
    std::uint64_t generation_;
  };

  // Brings the kept cells up to date with the database (see above) and
  // returns the page's use of them. The page must read its rows after
  // this, best in one snapshot (web/data/read_snapshot.h). Never throws:
  // when the check fails, everything kept goes and the page keeps nothing.
  Use Begin();

  // Runs `write` on the cache's own connection (made now when there is
  // none) and returns true; its commits are not taken for changes of plans.
  // `write` must change no plan, person, place or kind of place. While it
  // runs, a page that cannot check the kept cells within a moment renders
  // afresh and keeps nothing, rather than wait for it. Returns false,
  // running nothing, on engines other than SQLite (which keep nothing).
  // Throws what `write` or the connection throws.
  bool RunQuietly(const std::function<void(store::Connection&)>& write);

  // Closes the cache's own connection when it was opened while the file
  // could not be written and the file is writable now: until it goes, no
  // connection of the process can write the file. Cheap (no system call
  // while the connection can write); skipped while a page or a quiet
  // write uses the connection. Never throws.
  void CloseIfStale() noexcept;

  std::size_t size() const;
  std::size_t bytes() const;

 private:
  struct Entry {
    std::string person;
    std::string context;
    std::shared_ptr<const std::string> cells;
    std::size_t bytes;
  };
  struct PersonState {
    std::uint64_t changed_at = 0;  // generation of the last change applied
    std::map<std::string, std::list<Entry>::iterator, std::less<>> months;  // by context
  };

  std::shared_ptr<const std::string> Find(std::string_view person, std::string_view context);
  void Offer(std::uint64_t generation, std::string_view person, std::string_view context,
             std::string_view cells);
  void DropPersonLocked(const std::string& person);
  void DropAllLocked();
  void DropEntryLocked(std::list<Entry>::iterator entry);
  // Brings the kept cells up to date with what the watcher sees. The
  // caller holds watcher_mutex_ (not mutex_, which this takes to drop).
  void CheckWatched();
  // Connects the watcher when there is none; false on engines other than
  // SQLite. The caller holds watcher_mutex_.
  bool ConnectWatcherLocked();

  const std::string connection_string_;
  const std::size_t max_entries_;
  const std::size_t max_bytes_;
  // watcher_mutex_ guards the watcher and what it last saw; mutex_ the kept
  // cells. Taken in that order.
  std::timed_mutex watcher_mutex_;
  mutable std::mutex mutex_;
  std::uint64_t generation_ = 1;
  std::uint64_t all_dropped_at_ = 1;
  std::unique_ptr<store::Connection> watcher_;  // null: not connected
  bool other_engine_ = false;                   // the database is no SQLite file
  std::optional<std::int64_t> data_version_;    // at the last look
  std::int64_t applied_number_ = 0;             // numbered changes applied up to here
  // Looks at the database begun so far (written under watcher_mutex_), and
  // the number of the last that ended.
  std::atomic<std::uint64_t> looks_begun_{0};
  std::uint64_t last_look_ended_ = 0;
  std::list<Entry> entries_;         // most recently used first
  std::unordered_map<std::string, PersonState> persons_;
  std::size_t bytes_ = 0;
};

}  // namespace ostrand::web
