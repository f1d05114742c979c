// The addresses of the calendar feeds. The subscriber's feed token stands
// in the path, because calendar programs cannot sign in:
//
//   /feeds/TOKEN/own.ics          the subscriber's own plans
//   /feeds/TOKEN/person-ID.ics    the shared plans of colleague ID
//   /feeds/TOKEN/department.ics   the department, for the leading duties,
//   /feeds/TOKEN/department2.ics  chosen by the leader conditions
//
// followed by an optional query "from=2001-12-01&to=2002-06-30".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrand::web {

enum class FeedKind { kOwn, kColleague, kDepartment, kDepartment2 };

struct FeedAddress {
  std::string_view token;  // as it stands in the path: not yet checked
  FeedKind kind = FeedKind::kOwn;
  std::int64_t person_id = 0;  // kColleague: whose plans
};

// The path of a feed (without a query). person_id counts for kColleague
// only.
std::string FeedPath(std::string_view token, FeedKind kind, std::int64_t person_id = 0);

// The feed of a request path (percent-decoded), or nothing when the path is
// no feed address. The views point into `path`.
std::optional<FeedAddress> ReadFeedPath(std::string_view path);

// The request target for the access log, with the token segment of a feed
// address written as "-": the token opens the feed to anyone who reads it.
// A target whose folder is not written plainly gives "/feeds/-" alone.
std::string FeedTargetForLog(std::string_view target);

}  // namespace ostrand::web
