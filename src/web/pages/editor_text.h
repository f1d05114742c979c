// How the day editor (web/pages/editor_page.h) writes days, times and
// plans in its pages and messages, the addresses of its own pages, and when
// two plans overlap. Internal to the editor; none of these throws but for
// want of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "core/date.h"
#include "core/date_text.h"
#include "web/data/plan_repository.h"
#include "web/http/url.h"
#include "web/i18n/messages.h"
#include "web/pages/editor_form.h"

namespace ostrand::web::editor {

// Times of day are written by ClockText (core/date_text.h).

// The date in full in the visitor's language, without and with its day of
// the week; the day and month only.
std::string DayText(Language language, const DateTime& day);
std::string DayHeading(Language language, const DateTime& day);
std::string ShortDayText(Language language, const DateTime& day);
// The message as text.
std::string Say(Language language, MessageId id);

// The editor's address for the target's person on `day`, with `more` query
// items after personID and dt.
std::string EditorAddress(const EditorTarget& target, const DateTime& day,
                          std::initializer_list<http::QueryItem> more = {});

// When a plan runs as the list of `day` shows it: the clock times of a plan
// within the day, else the dates with the times (or the stored texts).
std::string TimeRange(const StoredPlan& plan, const DateTime& day);

// How a message names a plan: its content (else its place, else its kind)
// in quotes, and when it runs.
std::string PlanLabel(Language language, const StoredPlan& plan);

// How many other plans an overlap warning names; it counts the rest, so
// that a day of many plans gives notes of bounded length.
constexpr std::size_t kNamedOverlaps = 3;

// The warning that a plan overlaps `count` others of the same person,
// naming `named` (at most kNamedOverlaps of them).
std::optional<std::string> OverlapWarning(Language language,
                                          const std::vector<const StoredPlan*>& named,
                                          std::size_t count);
// The warning for `others`, naming the first kNamedOverlaps of them.
std::optional<std::string> OverlapWarning(Language language,
                                          const std::vector<StoredPlan>& others);

// Whether two stored plans overlap in time (those starting together do).
bool Overlap(const StoredPlan& a, const StoredPlan& b);

// The message that `day` holds `limit` plans already.
std::string FullDayMessage(Language language, const DateTime& day, std::size_t limit);

}  // namespace ostrand::web::editor
