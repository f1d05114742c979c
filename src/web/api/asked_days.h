// The days a calendar feed or an API request covers: the query's "from"
// and "to" (feeds::RequestedRange) around today in the feeds' time zone.
// The feeds and the JSON API read their ranges here alone.
#pragma once

#include "core/date.h"
#include "feeds/feed_range.h"
#include "feeds/time_zone.h"
#include "web/http/form_fields.h"
#include "web/site/server_options.h"

namespace ostrand::web {

struct AskedDays {
  feeds::FeedRange range;
  // The date the default bounds count from, in the feeds' zone.
  DateTime today;
  // Whether the query named neither bound: the default range, which moves
  // on every day.
  bool by_default = true;
};

// The days the query's "from" and "to" ask for, a missing bound taking its
// default around today in `zone`. Throws Error naming the text when a bound
// is no date, when from lies after to, or when the range is too long (as
// feeds::RequestedRange does); the caller answers 400 with that message.
AskedDays ReadAskedDays(const http::FormFields& query, const ServerOptions& options,
                        const feeds::TimeZone& zone);

}  // namespace ostrand::web
