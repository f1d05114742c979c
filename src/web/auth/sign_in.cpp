#include "web/auth/sign_in.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "web/auth/accounts.h"
#include "web/auth/session_records.h"
#include "web/data/admins_table.h"
#include "web/http/cookies.h"
#include "web/http/request_values.h"

namespace ostrand::web {

std::int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::optional<Visitor> LoadVisitor(const http::Request& request, store::Connection& db,
                                   const SessionSigner& signer,
                                   const std::set<std::int64_t>& leader_duties) {
  const std::optional<std::string_view> cookie =
      http::FindRequestCookie(request, kSessionCookieName);
  if (!cookie || cookie->empty()) return std::nullopt;
  std::optional<OpenedSession> opened = signer.Open(*cookie, UnixNow());
  if (!opened) return std::nullopt;
  const Value person_id = opened->items->Get("personID");
  const Value rnd = opened->items->Get("rnd");
  if (!person_id.is_numeric() || !rnd.is_text() || rnd.text().empty()) return std::nullopt;
  std::optional<Person> person = FindPerson(db, static_cast<std::int64_t>(person_id.ToNumber()));
  if (!person) return std::nullopt;
  // Signed out, a new password, or ended by the operator since.
  const std::optional<SessionGeneration> current = CurrentSessionGeneration(db, person->id);
  if (!current || *current != opened->generation) return std::nullopt;
  // Ended on its own (from the account page or by an administrator).
  if (!SessionRecordHolds(db, person->id, rnd.text(), opened->expires,
                          {request.remote_address, request.HeaderValue("User-Agent")})) {
    return std::nullopt;
  }

  Visitor visitor;
  visitor.person = std::move(*person);
  visitor.leader = IsLeader(visitor.person, leader_duties);
  visitor.admin = IsAdministrator(db, visitor.person.id);
  visitor.sealed_items = opened->items->items();
  visitor.session = std::move(opened->items);
  visitor.expires = opened->expires;
  visitor.sealed_expires = opened->expires;
  visitor.generation = opened->generation;
  visitor.session_csrf_token = signer.CsrfToken(rnd.text());
  visitor.csrf_token = MaskCsrfToken(visitor.session_csrf_token);
  // The person may have changed system since signing in; pages follow the
  // database, not the cookie.
  visitor.session->Set("systemID",
                       visitor.person.system_id ? IdValue(*visitor.person.system_id) : Value());
  return visitor;
}

void ReissueSession(Visitor& visitor, const SessionGeneration& generation) {
  visitor.generation = generation;
  // The cookie's items no longer count as sent: SessionCookie seals anew.
  visitor.sealed_items.clear();
}

std::optional<std::string> SessionCookie(const SessionSigner& signer, const Visitor& visitor) {
  const auto same = [](const auto& a, const auto& b) {
    return a.first == b.first && a.second.key == b.second.key && a.second.value == b.second.value;
  };
  const std::map<std::string, host::MemorySession::Item>& now = visitor.session->items();
  if (visitor.expires == visitor.sealed_expires &&
      std::equal(now.begin(), now.end(), visitor.sealed_items.begin(), visitor.sealed_items.end(),
                 same)) {
    return std::nullopt;
  }
  return http::SetCookieValue(kSessionCookieName,
                              signer.Seal(*visitor.session, visitor.expires, visitor.generation),
                              "/", visitor.expires - UnixNow());
}

}  // namespace ostrand::web
