#include "web/pages/session_start.h"

#include <optional>

#include "core/error.h"
#include "host/memory_context.h"
#include "web/auth/accounts.h"
#include "web/auth/sign_in.h"
#include "web/data/accounts_table.h"
#include "web/http/cookies.h"
#include "web/http/request_values.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {

http::Response StartSession(store::Connection& db, const ServerOptions& options,
                            const SessionSigner& signer, const Person& person,
                            const std::string& next, const SessionOrigin& origin,
                            std::string_view how) {
  std::optional<SessionGeneration> generation = CurrentSessionGeneration(db, person.id);
  if (!generation && how != kSignedInWithPassword) {
    // Whom a provider or a directory vouches for needs no password here,
    // only the account that holds the generation of his or her sessions.
    EnsureAccount(db, person.id);
    generation = CurrentSessionGeneration(db, person.id);
  }
  if (!generation) {
    throw Error("the account of person " + std::to_string(person.id) + " is gone");
  }
  host::MemorySession session;
  session.Set("personID", IdValue(person.id));
  if (person.system_id) session.Set("systemID", IdValue(*person.system_id));
  const std::string rnd = RandomToken();
  session.Set("rnd", Value::Text(rnd));
  session.Set("signin", Value::Text(std::string(how)));
  const std::int64_t lifetime = options.session_lifetime.count();
  RecordSessionStart(db, person.id, rnd, UnixNow() + lifetime, origin);
  http::Response response = http::Response::Redirect(next);
  response.AddHeader("Set-Cookie",
                     http::SetCookieValue(kSessionCookieName,
                                          signer.Seal(session, UnixNow() + lifetime, *generation),
                                          "/", lifetime));
  response.AddHeader("Set-Cookie", http::SetCookieValue(kSignInCookieName, "", kSignInPath, 0));
  response.person = person.id;
  return response;
}

}  // namespace ostrand::web
