#include "web/pages/feed_address.h"

#include "web/http/request_values.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kOwnFile = "own.ics";
constexpr std::string_view kDepartmentFile = "department.ics";
constexpr std::string_view kDepartment2File = "department2.ics";
constexpr std::string_view kPersonPrefix = "person-";
constexpr std::string_view kSuffix = ".ics";

}  // namespace

std::string FeedPath(std::string_view token, FeedKind kind, std::int64_t person_id) {
  std::string path(kFeedsFolder);
  path += token;
  path += '/';
  switch (kind) {
    case FeedKind::kOwn:
      path += kOwnFile;
      break;
    case FeedKind::kColleague:
      path += kPersonPrefix;
      path += std::to_string(person_id);
      path += kSuffix;
      break;
    case FeedKind::kDepartment:
      path += kDepartmentFile;
      break;
    case FeedKind::kDepartment2:
      path += kDepartment2File;
      break;
  }
  return path;
}

std::optional<FeedAddress> ReadFeedPath(std::string_view path) {
  if (!path.starts_with(kFeedsFolder)) return std::nullopt;
  path.remove_prefix(kFeedsFolder.size());
  const std::size_t slash = path.find('/');
  if (slash == std::string_view::npos || slash == 0) return std::nullopt;
  FeedAddress address;
  address.token = path.substr(0, slash);
  const std::string_view file = path.substr(slash + 1);
  if (file == kOwnFile) {
    address.kind = FeedKind::kOwn;
  } else if (file == kDepartmentFile) {
    address.kind = FeedKind::kDepartment;
  } else if (file == kDepartment2File) {
    address.kind = FeedKind::kDepartment2;
  } else if (file.starts_with(kPersonPrefix) && file.ends_with(kSuffix)) {
    const std::string_view id = file.substr(
        kPersonPrefix.size(), file.size() - kPersonPrefix.size() - kSuffix.size());
    const std::optional<std::int64_t> person = ReadWholeNumber(id, kLargestExactId);
    if (!person) return std::nullopt;
    address.kind = FeedKind::kColleague;
    address.person_id = *person;
  } else {
    return std::nullopt;
  }
  return address;
}

std::string FeedTargetForLog(std::string_view target) {
  std::string out(kFeedsFolder);
  out += '-';
  // A folder sent percent-encoded: nothing of it is logged.
  if (!target.starts_with(kFeedsFolder)) return out;
  const std::string_view rest = target.substr(kFeedsFolder.size());
  const std::size_t slash = rest.find('/');
  if (slash != std::string_view::npos) out += rest.substr(slash);
  return out;
}

}  // namespace ostrand::web
