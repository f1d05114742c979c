// The signed-in person behind one request, and the rules of who may see
// what: personal pages of persons of one's own system, leader pages for the
// leading duties that the operator configured, the day editor for oneself.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "host/memory_context.h"
#include "web/auth/session_cookie.h"
#include "web/data/persons.h"

namespace ostrand::web {

struct Visitor {
  Person person;  // the signed-in person's row as it is now
  bool leader = false;
  bool admin = false;  // an administrator (web/data/admins_table.h)
  // The Session items from the cookie; the page's component reads them and
  // writes "strURL" back at page end.
  std::shared_ptr<host::MemorySession> session;
  // The items and expiry as the cookie holds them: the cookie is renewed
  // only when the page changed them (signing out sets `expires` to 0).
  std::map<std::string, host::MemorySession::Item> sealed_items;
  std::int64_t sealed_expires = 0;
  std::int64_t expires = 0;  // when the sign-in ends (Unix seconds)
  SessionGeneration generation;  // what the session was issued under
  // The session's CSRF token (SessionSigner::CsrfToken), and the form this
  // answer's forms carry it in: masked afresh for each request
  // (MaskCsrfToken); a form posted back passes with CsrfTokenHolds.
  std::string session_csrf_token;
  std::string csrf_token;
};

// Whether the person's duty is one of the leading duties.
bool IsLeader(const Person& person, const std::set<std::int64_t>& leader_duties);

// Throws HttpError 403 unless `shown` belongs to the visitor's own system.
void RequireSameSystem(const Visitor& visitor, const Person& shown);
// Throws HttpError 403 unless the visitor holds a leading duty.
void RequireLeader(const Visitor& visitor);
// Throws HttpError 403 unless the visitor is an administrator.
void RequireAdministrator(const Visitor& visitor);
// Throws HttpError 403 unless person_id is the visitor's own.
void RequireSelf(const Visitor& visitor, std::int64_t person_id);

}  // namespace ostrand::web
