// PlanRepository: the day editor's reads and writes of one person's plans.
// The component only reads the schedule; the host writes it here, each
// write in its own transaction, with every value bound as a parameter.
// Every statement names the person as well as the plan, so a plan id of
// somebody else's plan finds nothing and changes nothing.
//
// A delete moves the plan into hostDeletedPlan, where it stays for
// kKeepDeletedDays so that the delete can be undone (Restore; these are in
// deleted_plans.cpp). The columns are plan_rows.h's. Every write adds its
// outbox event (plan.added, plan.changed, plan.deleted, plan.restored) in
// its transaction, made by the actor set with set_actor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/connection.h"
#include "store/plan_flags.h"
#include "store/sql_param.h"
#include "web/data/plan_rows.h"

namespace ostrand::web {

struct PlaceKind {
  std::int64_t id = 0;
  std::string name;
};

struct Place {
  std::int64_t id = 0;
  std::string name;
  std::optional<std::int64_t> kind_id;  // the kind of place it belongs to, when recorded
};

// A plan that Remove moved aside.
struct DeletedPlan {
  std::int64_t deleted_id = 0;
  std::optional<DateTime> deleted_at;
  StoredPlan plan;  // as it was, under the id it had; kind and place names as they are now
};

// How long a deleted plan can be restored.
inline constexpr int kKeepDeletedDays = 30;

// The bound of "planStartTime < ?" that takes the plans starting on `last`
// or before: the midnight after it, or for 31 December 9999, which has no
// day after it, its last second.
store::SqlParam StartsBefore(const DateTime& last);

// What a write checked against the plans per day did.
struct PlanWrite {
  // The plan added or changed; 0 when nothing was written.
  std::int64_t plan_id = 0;
  // Why nothing was written, when that was the reason: the first day of the
  // plan on which the person already has the most plans allowed.
  std::optional<DateTime> full_day;
};

class PlanRepository {
 public:
  // The repository uses `db`, which must outlive it.
  explicit PlanRepository(store::Connection& db) : db_(db) {}

  // Who makes the writes that follow (the visitor of the editor, the
  // principal of a calendar program): the actor of their outbox events
  // (web/data/outbox.h). Nothing (the default): another program, such as
  // an import.
  void set_actor(std::optional<std::int64_t> actor) { actor_ = actor; }

  std::vector<PlaceKind> PlaceKinds();
  std::vector<Place> Places();

  // The person's plans of every flag that cover some part of `day`, by
  // start time.
  std::vector<StoredPlan> PlansOfDay(std::int64_t person_id, const DateTime& day) {
    return PlansBetween(person_id, day, day);
  }
  // The same for the days from `first` to `last`.
  std::vector<StoredPlan> PlansBetween(std::int64_t person_id, const DateTime& first,
                                       const DateTime& last);
  // The person's plan of that id, or nothing.
  std::optional<StoredPlan> FindPlan(std::int64_t person_id, std::int64_t plan_id);

  // Stores a new plan of the person, unless on one of its days the person
  // already has `per_day_limit` plans (counted and written in one
  // transaction, so parallel writes cannot pass the limit together).
  PlanWrite Add(std::int64_t person_id, const PlanInput& plan, std::size_t per_day_limit);
  // Replaces the person's plan of that id under the same limit (the plan
  // itself not counted); plan_id 0 and no full_day when the person has no
  // such plan.
  PlanWrite Update(std::int64_t person_id, std::int64_t plan_id, const PlanInput& plan,
                   std::size_t per_day_limit);
  // Stores copies of the person's plans, all or none: none when on one of
  // their days the person would hold more than `per_day_limit` plans
  // (full_day says which). plan_id is the first copy's.
  PlanWrite AddAll(std::int64_t person_id, const std::vector<PlanInput>& plans,
                   std::size_t per_day_limit);

  // The person's other plans whose time overlaps the plan's (plans that
  // start at the same moment included), by start time.
  std::vector<StoredPlan> Overlapping(std::int64_t person_id, const StoredPlan& plan);

  // Moves the person's plan of that id to the deleted plans, stamped `now`,
  // and forgets plans deleted more than kKeepDeletedDays before `now`.
  // Returns the entry's id; nothing when the person has no such plan.
  std::optional<std::int64_t> Remove(std::int64_t person_id, std::int64_t plan_id,
                                     const DateTime& now);
  // The person's deleted plans that can still be restored, the latest
  // deleted first.
  std::vector<DeletedPlan> RecentlyDeleted(std::int64_t person_id);
  // The person's deleted plan of that entry id, or nothing.
  std::optional<DeletedPlan> FindDeleted(std::int64_t person_id, std::int64_t deleted_id);
  // Puts the deleted plan back, under its old id unless another plan took
  // it (or the engine is SQL Server, whose ids only the database gives),
  // and removes the entry; refused like Add when a day of it is full.
  // plan_id 0 and no full_day when the person has no such entry.
  PlanWrite Restore(std::int64_t person_id, std::int64_t deleted_id, std::size_t per_day_limit);

  // Stores a new plan of the person inside the caller's transaction, with
  // no limit checked, and records the change (plan_changes.h); returns its
  // id. For writers that check the limits themselves (import-plans).
  std::int64_t Insert(std::int64_t person_id, const PlanInput& plan);
  // Inside a write transaction: holds the person's row until the commit on
  // engines that lock rows.
  void LockPerson(std::int64_t person_id);

  // The first day from `first` to `last` on which the person has
  // `limit` plans other than `except`. Plans whose stored times do not read
  // as dates are not counted. For writers that check the limit inside their
  // own transaction (the calendar objects).
  std::optional<DateTime> FirstFullDay(std::int64_t person_id, const DateTime& first,
                                       const DateTime& last, std::size_t limit,
                                       std::int64_t except);
  // Remove inside the caller's transaction (the person's row locked by the
  // caller): moves the plan to the deleted plans, stamped `now`, and
  // records the change. Nothing when the person has no such plan.
  std::optional<std::int64_t> MoveToDeleted(std::int64_t person_id, std::int64_t plan_id,
                                            const DateTime& now);

 private:
  // Whether the person's plan of that id is shared now; nothing when the
  // person has no such plan.
  std::optional<bool> SharedNow(std::int64_t person_id, std::int64_t plan_id);
  // Adds the outbox event `kind` of the person's plan as it is now.
  void TellOf(std::string_view kind, std::int64_t person_id, std::int64_t plan_id);
  store::Connection& db_;
  std::optional<std::int64_t> actor_;
};

}  // namespace ostrand::web
