#include "web/data/signin_states.h"

#include <array>

#include "store/sql_param.h"

namespace ostrand::web {

void RecordSignInState(store::Connection& db, const std::string& state_hash, const DateTime& now,
                       const DateTime& expires) {
  const std::array expired{store::SqlParam::Timestamp(now)};
  db.Execute("DELETE FROM hostSignInState WHERE expiresAt < ?", expired);
  const std::array row{store::SqlParam::Text(state_hash), store::SqlParam::Timestamp(now),
                       store::SqlParam::Timestamp(expires)};
  db.Execute("INSERT INTO hostSignInState (stateHash, createdAt, expiresAt) VALUES (?, ?, ?)", row);
}

bool TakeSignInState(store::Connection& db, const std::string& state_hash, const DateTime& now) {
  const std::array params{store::SqlParam::Text(state_hash), store::SqlParam::Timestamp(now)};
  return db.Execute("DELETE FROM hostSignInState WHERE stateHash = ? AND expiresAt >= ?", params) ==
         1;
}

}  // namespace ostrand::web
