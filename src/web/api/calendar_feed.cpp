#include "web/api/calendar_feed.h"

#include <optional>
#include <vector>

#include "core/error.h"
#include "feeds/feed_source.h"
#include "feeds/ical_feed.h"
#include "store/plan_store.h"
#include "web/api/asked_days.h"
#include "web/pages/feed_address.h"
#include "web/auth/personal_tokens.h"
#include "web/auth/visitor.h"
#include "web/data/persons.h"
#include "web/data/plan_changes.h"
#include "web/http/conditional.h"
#include "web/http/form_fields.h"
#include "web/http/request_values.h"
#include "web/i18n/http_error.h"
#include "web/pages/error_answer.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kCalendarType = "text/calendar; charset=utf-8";

// What a feed shows and whom, before its plans are loaded.
struct FeedPlan {
  feeds::FeedView view = feeds::FeedView::kOwn;
  std::vector<plans::PersonPlans> persons;
  std::string name;
};

// The refusal of a range in the visitor's language.
HttpError RangeRefused(const feeds::RangeError& e) {
  switch (e.kind()) {
    case feeds::RangeError::Kind::kUnreadable:
      return HttpError(400, {MessageId::kRangeDateUnreadable, {e.bound(), e.text()}});
    case feeds::RangeError::Kind::kReversed:
      return HttpError(400, {MessageId::kRangeReversed, {IsoDate(e.first()), IsoDate(e.last())}});
    case feeds::RangeError::Kind::kTooLong:
      break;
  }
  return HttpError(400, {MessageId::kRangeTooLong,
                         {IsoDate(e.first()), IsoDate(e.last()), std::to_string(feeds::kMaxMonths)}});
}

}  // namespace

http::Response CalendarFeeds::Serve(const http::Request& request) const {
  const Language language = RequestLanguage(request);
  http::Response response;
  try {
    response = Answer(request, language);
  } catch (...) {
    response = ErrorAnswer(std::current_exception(), language, nullptr);
  }
  response.log_target = FeedTargetForLog(request.target);
  // The calendar's name and the error pages are in the visitor's language.
  VaryByLanguage(response);
  return response;
}

http::Response CalendarFeeds::Answer(const http::Request& request, Language language) const {
  const std::optional<FeedAddress> address = ReadFeedPath(request.path);
  if (!address) return NotFoundResponse(language);
  const store::ConnectionPool::Lease lease = databases_.OpenHost();
  store::Connection& db = *lease;
  const std::optional<std::int64_t> owner_id =
      PersonalTokens::FindOwner(db, TokenPurpose::kFeed, address->token);
  if (!owner_id) return NotFoundResponse(language);
  const std::optional<Person> owner = FindPerson(db, *owner_id);
  if (!owner) return NotFoundResponse(language);

  AskedDays days;
  try {
    days = ReadAskedDays(http::ParseFields(request.query), options_, zone_);
  } catch (const feeds::RangeError& e) {
    throw RangeRefused(e);
  }
  const feeds::FeedRange& range = days.range;

  // The component's queries, on the request's connection (the pool lends
  // this thread the same one).
  store::PlanStore store;
  store.Open(databases_.connection_string());
  FeedPlan shown;
  switch (address->kind) {
    case FeedKind::kOwn: {
      std::optional<plans::PersonPlans> person =
          feeds::LoadPerson(store, owner->id, feeds::FeedView::kOwn, range);
      if (!person) return NotFoundResponse(language);
      shown.view = feeds::FeedView::kOwn;
      shown.name = Format(language, MessageId::kFeedOfPerson, {owner->name});
      shown.persons.push_back(std::move(*person));
      break;
    }
    case FeedKind::kColleague: {
      const std::optional<Person> colleague = FindPerson(db, address->person_id);
      if (!colleague || !owner->system_id || colleague->system_id != owner->system_id) {
        return NotFoundResponse(language);
      }
      std::optional<plans::PersonPlans> person =
          feeds::LoadPerson(store, colleague->id, feeds::FeedView::kColleague, range);
      if (!person) return NotFoundResponse(language);
      shown.view = feeds::FeedView::kColleague;
      shown.name = Format(language, MessageId::kFeedOfPersonShared, {colleague->name});
      shown.persons.push_back(std::move(*person));
      break;
    }
    case FeedKind::kDepartment:
    case FeedKind::kDepartment2: {
      if (!IsLeader(*owner, LeadingDutiesNow(options_, db)) || !owner->system_id) {
        return NotFoundResponse(language);
      }
      const bool second = address->kind == FeedKind::kDepartment2;
      shown.view = feeds::FeedView::kDepartment;
      shown.name =
          Text(language, second ? MessageId::kFeedDepartment2 : MessageId::kFeedDepartment);
      shown.persons = feeds::LoadDepartment(
          store, IdValue(*owner->system_id),
          Value::Text(LeaderCondition(options_, second)), range);
      break;
    }
  }
  AddRecordedChanges(db, shown.persons);

  feeds::FeedRequest feed;
  feed.view = shown.view;
  feed.persons = std::move(shown.persons);
  feed.range = range;
  feed.calendar_name = std::move(shown.name);
  feed.uid_domain = identity_.Get(db);
  const DateTime now = UtcNow();
  const std::string etag = feeds::CalendarETag(feed, zone_);

  // Last-Modified only where every change of what the feed shows is
  // recorded: a department's list of persons changes without a record.
  std::optional<DateTime> last_modified;
  if (feed.view != feeds::FeedView::kDepartment) {
    bool recorded = true;
    for (const plans::PlanRecord& plan : feed.persons.front().plans) {
      recorded = recorded && plan.last_modified.has_value();
    }
    if (recorded) {
      const std::int64_t ids[] = {feed.persons.front().person_id};
      last_modified = LatestRecordedChange(db, ids, feed.view != feeds::FeedView::kOwn);
      if (days.by_default) {
        const DateTime day_start = zone_.ToUtc(days.today);
        if (!last_modified || *last_modified < day_start) last_modified = day_start;
      }
      if (last_modified && now < *last_modified) last_modified = now;
    }
  }

  const auto add_validators = [&](http::Response& response) {
    response.AddHeader("ETag", etag);
    if (last_modified) response.AddHeader("Last-Modified", http::HttpDate(*last_modified));
    response.AddHeader("Cache-Control", "private, no-cache");
    response.person = owner->id;
  };
  if (http::IsNotModified(request, etag, last_modified)) {
    http::Response response;
    response.status = 304;
    add_validators(response);
    return response;
  }
  http::Response response(200, kCalendarType, feeds::WriteCalendar(feed, zone_));
  add_validators(response);
  return response;
}

}  // namespace ostrand::web
