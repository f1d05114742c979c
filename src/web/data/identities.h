// Identities at OpenID providers and directories (hostIdentity), and the
// one way from such an identity to a person of this site.
//
// An identity is the issuer (the provider's issuer address, or the
// directory's address and search base) and the subject the issuer gives it
// (the ID token's "sub", the directory entry's DN), which stay the same
// when the account is renamed. The first time an identity signs in it is
// matched to a person by its claim (the value of the --oidc-claim claim or
// the --ldap-person-attribute attribute: a person id, or a name that
// exactly one current person has) and the match is stored, so that later
// sign-ins no longer look at the claim. An identity that names nobody is
// made a person when the server makes persons at the first sign-in
// (AutoCreate), else it is stored unlinked until an administrator links it
// (/admin/identities). Values are bound; errors are what the database
// throws, or Error as each function says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/connection.h"
#include "web/data/persons.h"

namespace ostrand::web {

// The most bytes of an issuer, a subject, a claim or a display name that
// are kept (longer ones are refused as input of a provider gone wrong).
inline constexpr std::size_t kIdentityFieldLimit = 255;

// What a provider or directory says of the one who signed in.
struct ExternalIdentity {
  std::string issuer;
  std::string subject;
  std::string claim;         // the person id or name it names; may be empty
  std::string display_name;  // the person's name for a new person; may be empty
};

// Where persons are made at their first sign-in (serve --auto-create
// DEPARTMENT[:DUTY]); without a duty, the last duty in the duties' order
// (the most junior).
struct AutoCreate {
  std::int64_t department = 0;
  std::optional<std::int64_t> duty;
};

struct IdentityMatch {
  enum class Status {
    kPerson,    // `person` signs in
    kUnlinked,  // nobody yet: the identity waits for an administrator
    kRetired,   // linked to a person who retired: refused like a stranger
  };
  Status status = Status::kUnlinked;
  std::optional<Person> person;
  bool created = false;  // the person was made just now (AutoCreate)
};

// The person the identity signs in as, following the rules above: a
// stored link first, else the claim, else a new person in `auto_create`'s
// department (its name from display_name, else the claim, else
// "subject@issuer"; audit record person-added with the address), else an
// unlinked row. Updates the identity's row (last seen, claim, display
// name) in a transaction of its own. A claim or display name that is
// longer than kIdentityFieldLimit, no UTF-8 or holds a control character
// counts as none. Throws Error (kBadInput) naming the field when the issuer
// or subject is empty or such a text; (kBadInput) when auto_create names a
// department or duty that does not exist.
IdentityMatch MatchIdentity(store::Connection& db, const ExternalIdentity& identity,
                            const std::optional<AutoCreate>& auto_create,
                            std::string_view client_address);

// One stored identity, as the administration lists it.
struct IdentityRow {
  std::string key;  // hostIdentity.identityKey
  std::string issuer;
  std::string subject;
  std::optional<std::int64_t> person_id;
  std::string claim;
  std::string display_name;
  DateTime first_seen;
  DateTime last_seen;
};

// The stored identities, the unlinked first and then by last sign-in, the
// latest first; at most `limit` from `offset`. `person`: only those linked
// to that person.
std::vector<IdentityRow> ListIdentities(store::Connection& db, std::optional<std::int64_t> person,
                                        std::size_t offset, std::size_t limit);
// The identity with that key, or nothing.
std::optional<IdentityRow> FindIdentity(store::Connection& db, std::string_view key);

// Links the identity to the person (or unlinks it, with nothing), in the
// caller's transaction. Throws Error (kNotFound) naming the key when there
// is no such identity, (kNotFound) naming the person when there is no such
// person.
void LinkIdentity(store::Connection& db, std::string_view key, std::optional<std::int64_t> person);

// The key of an identity: the hex SHA-256 of issuer, a zero byte, subject.
std::string IdentityKey(std::string_view issuer, std::string_view subject);

}  // namespace ostrand::web
