#include "web/site/server_options.h"

#include <algorithm>
#include <ctime>

#include "core/error.h"
#include "core/text.h"
#include "plans/leader_list.h"
#include "store/demo_data.h"
#include "web/data/mail_settings.h"
#include "web/data/organisation.h"
#include "web/data/plan_changes.h"
#include "web/http/request_values.h"

namespace ostrand::web {

std::string DefaultLeader2Cond() {
  return "person.dutyID>" + std::to_string(store::kLastLeadingDuty);
}

std::set<std::int64_t> ParseDutyList(std::string_view list) {
  std::set<std::int64_t> duties;
  for (const std::string_view item : SplitList(list, ',')) {
    const std::optional<std::int64_t> id = ReadWholeNumber(TrimBlanks(item), kLargestExactId);
    if (!id) throw Error("invalid duty list '" + std::string(list) + "'");
    duties.insert(*id);
  }
  return duties;
}

AutoCreate ParseAutoCreate(std::string_view text) {
  const std::size_t colon = text.find(':');
  const std::optional<std::int64_t> department =
      ReadWholeNumber(TrimBlanks(text.substr(0, colon)), kLargestExactId);
  std::optional<std::int64_t> duty;
  if (colon != std::string_view::npos) {
    duty = ReadWholeNumber(TrimBlanks(text.substr(colon + 1)), kLargestExactId);
  }
  if (!department || (colon != std::string_view::npos && !duty)) {
    throw Error("--auto-create '" + std::string(text) +
                "' is no department id, or department and duty ids (such as 3 or 3:5)");
  }
  return AutoCreate{*department, duty};
}

std::set<std::int64_t> LeadingDutiesNow(const ServerOptions& options, store::Connection& db) {
  if (options.leader_duties) return *options.leader_duties;
  return LeadingDutiesInDatabase(db);
}

std::string LeaderCondition(const ServerOptions& options, bool second) {
  return plans::CurrentStaffCondition(second ? options.leader2_cond : options.leader_cond);
}

bool ServedOverTls(const ServerOptions& options) {
  return options.secure_cookies || StartsWithNoCase(options.public_url, "https://");
}

std::size_t ConnectionsPerClient(const ServerOptions& options) {
  if (options.max_connections_per_client > 0) return options.max_connections_per_client;
  return std::max<std::size_t>(1, options.max_connections / 8);
}

namespace {

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.';
}

// Whether `rest` (what follows "smtp://") is host[:port] with at most a
// closing "/": a name of letters, digits, '-' and '.', or [an IPv6 address].
bool IsMailServerAddress(std::string_view rest) {
  if (rest.ends_with('/')) rest.remove_suffix(1);
  std::string_view host = rest;
  std::string_view port;
  if (rest.starts_with('[')) {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos || close == 1) return false;
    for (const char c : rest.substr(1, close - 1)) {
      if (!IsHostCharacter(c) && c != ':') return false;
    }
    host = {};
    const std::string_view after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return false;
      port = after.substr(1);
      if (port.empty()) return false;
    }
  } else if (const std::size_t colon = rest.rfind(':'); colon != std::string_view::npos) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (port.empty()) return false;
  }
  if (!rest.starts_with('[')) {
    if (host.empty() || host.size() > 253) return false;
    for (const char c : host) {
      if (!IsHostCharacter(c)) return false;
    }
  }
  if (!port.empty()) {
    const std::optional<std::int64_t> number = ReadWholeNumber(port, 65535);
    if (!number || *number < 1) return false;
  }
  return true;
}

}  // namespace

void CheckMailOptions(const MailOptions& mail) {
  const bool implicit_tls = StartsWithNoCase(mail.url, "smtps://");
  const std::size_t scheme = implicit_tls ? 8 : 7;
  if ((!implicit_tls && !StartsWithNoCase(mail.url, "smtp://")) ||
      !IsMailServerAddress(std::string_view(mail.url).substr(scheme))) {
    throw Error("--smtp-url '" + mail.url +
                "' is no smtp://host[:port] or smtps://host[:port] address");
  }
  if (implicit_tls && !mail.starttls) {
    throw Error("--smtp-insecure is for smtp:// only; smtps:// '" + mail.url + "' is TLS always");
  }
  if (!IsMailAddress(mail.from)) {
    throw Error("--mail-from '" + mail.from + "' is no mail address (such as plans@example.org)");
  }
  if (mail.user.empty() != mail.password.empty()) {
    throw Error("--smtp-user and --smtp-password-file go together");
  }
  if (mail.user.find_first_of("\r\n") != std::string::npos) {
    throw Error("--smtp-user holds a line break");
  }
}

DateTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // A leap second (tm_sec 60) counts as the last second of its minute.
  return DateTime::FromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, std::min(local.tm_sec, 59));
}

DateTime TodayOf(const ServerOptions& options, const std::optional<feeds::TimeZone>& zone) {
  if (options.today) return options.today().DateOnly();
  return (zone ? zone->FromUtc(UtcNow()) : LocalNow()).DateOnly();
}

}  // namespace ostrand::web
