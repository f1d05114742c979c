#include "web/data/identities.h"

#include <sodium.h>

#include <array>
#include <limits>
#include <vector>

#include "core/error.h"
#include "core/hex.h"
#include "core/sha256.h"
#include "core/sodium_start.h"
#include "core/text.h"
#include "core/utf8.h"
#include "plans/retired.h"
#include "store/database_error.h"
#include "store/engine_sql.h"
#include "store/sql_param.h"
#include "web/data/admins_table.h"
#include "web/data/audit_log.h"
#include "web/data/person_registry.h"
#include "web/data/plan_changes.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

using store::SqlParam;

constexpr std::string_view kColumns =
    "identityKey, issuer, subject, personID, claimValue, displayName, firstSeenAt, lastSeenAt";

// The field as stored, or Error (kBadInput) naming it.
void CheckField(std::string_view name, std::string_view value, bool required) {
  if (required && value.empty()) {
    throw Error("the sign-in names no " + std::string(name), ErrorKind::kBadInput);
  }
  if (value.size() > kIdentityFieldLimit || !IsValidUtf8(value) || HasControlCharacter(value)) {
    throw Error("the sign-in's " + std::string(name) + " '" +
                    std::string(Utf8Prefix(value, 60)) + "' is longer than " +
                    std::to_string(kIdentityFieldLimit) +
                    " bytes, no UTF-8 or holds a control character",
                ErrorKind::kBadInput);
  }
}

// A claim or display name as kept: the text when it is a good one, else
// nothing (it only informs, so a strange one never stops a sign-in).
std::string Kept(std::string_view value) {
  if (value.size() > kIdentityFieldLimit || !IsValidUtf8(value) || HasControlCharacter(value)) {
    return {};
  }
  return std::string(TrimBlanks(value));
}

DateTime ReadTime(const store::RecordSet& rows, std::size_t column) {
  const std::string text = Text(rows, column);
  const std::optional<DateTime> time = store::ReadStoredDateTime(text);
  if (!time) throw Error("hostIdentity time '" + text + "' is no time");
  return *time;
}

IdentityRow ReadRow(const store::RecordSet& rows) {
  IdentityRow row;
  row.key = Text(rows, 0);
  row.issuer = Text(rows, 1);
  row.subject = Text(rows, 2);
  row.person_id = OptionalInt(rows, 3);
  row.claim = OptionalText(rows, 4).value_or("");
  row.display_name = OptionalText(rows, 5).value_or("");
  row.first_seen = ReadTime(rows, 6);
  row.last_seen = ReadTime(rows, 7);
  return row;
}

std::string SelectSql(const store::Connection& db) {
  return "SELECT identityKey, issuer, subject, personID, claimValue, displayName, " +
         store::TimeText(db.engine(), "firstSeenAt") + ", " +
         store::TimeText(db.engine(), "lastSeenAt") + " FROM hostIdentity";
}

bool IsRetired(store::Connection& db, std::int64_t person_id) {
  const std::array params{SqlParam::Integer(person_id)};
  return !db.Query("SELECT 1 FROM hostRetiredPerson WHERE personID = ?", params).Eof();
}

// Whether the person has an identity of the issuer already: then a claim
// naming the person is someone else's (a renamed account's old name given
// to a newcomer), and only an administrator may link it.
bool HasIdentityAt(store::Connection& db, std::int64_t person_id, std::string_view issuer) {
  const std::array params{SqlParam::Integer(person_id), SqlParam::Text(std::string(issuer))};
  return !db.Query("SELECT 1 FROM hostIdentity WHERE personID = ? AND issuer = ?", params).Eof();
}

// The current person the claim names: a person id, or a name exactly one
// current person has. An administrator is never matched by a claim, nor a
// person who has an identity at the issuer already.
std::optional<Person> PersonOfClaim(store::Connection& db, const ExternalIdentity& identity) {
  const std::string_view claim = TrimBlanks(identity.claim);
  if (claim.empty()) return std::nullopt;
  std::optional<Person> found;
  if (const std::optional<std::int64_t> id = ReadWholeNumber(claim, std::numeric_limits<std::int64_t>::max())) {
    found = FindPerson(db, *id);
  } else {
    std::vector<Person> named = FindPersonsByName(db, claim);
    std::erase_if(named, [&](const Person& p) { return IsRetired(db, p.id); });
    if (named.size() == 1) found = named.front();
  }
  if (!found || IsRetired(db, found->id) || IsAdministrator(db, found->id) ||
      HasIdentityAt(db, found->id, identity.issuer)) {
    return std::nullopt;
  }
  return found;
}

// Writes the identity's row as seen now, linked to `person` (or left as
// it is when nothing): inserted when new. Throws DatabaseError when a
// second sign-in of the same identity inserted it first.
void WriteIdentity(store::Connection& db, const std::string& key, const ExternalIdentity& identity,
                   std::optional<std::int64_t> person, const DateTime& now) {
  const SqlParam person_param = person ? SqlParam::Integer(*person) : SqlParam::Null();
  const std::array update{SqlParam::Text(identity.claim), SqlParam::Text(identity.display_name),
                          SqlParam::Timestamp(now), person_param, SqlParam::Text(key)};
  const std::array insert{SqlParam::Text(key),
                          SqlParam::Text(identity.issuer),
                          SqlParam::Text(identity.subject),
                          person_param,
                          SqlParam::Text(identity.claim),
                          SqlParam::Text(identity.display_name),
                          SqlParam::Timestamp(now),
                          SqlParam::Timestamp(now)};
  store::UpdateOrInsert(
      db,
      "UPDATE hostIdentity SET claimValue = ?, displayName = ?, lastSeenAt = ?, "
      "personID = COALESCE(?, personID) WHERE identityKey = ?",
      update,
      "INSERT INTO hostIdentity (" + std::string(kColumns) + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
      insert);
}

// The name of a person made at the first sign-in: the display name, else
// the claim, else "subject@issuer", the first of them that is a good name,
// cut to the longest name allowed.
std::string NewPersonName(const ExternalIdentity& identity) {
  const std::string fallback = identity.subject + "@" + identity.issuer;
  for (const std::string* candidate : {&identity.display_name, &identity.claim, &fallback}) {
    std::string name(TrimBlanks(*candidate));
    name = std::string(Utf8Prefix(name, kMaxPersonNameLength));
    try {
      return CheckedPersonName(name);
    } catch (const Error&) {
    }
  }
  return CheckedPersonName(Utf8Prefix(identity.subject, kMaxPersonNameLength));
}

// The duty of a person made at the first sign-in: the one asked for, else
// the last of the duties' order.
std::int64_t NewPersonDuty(store::Connection& db, const AutoCreate& auto_create) {
  if (auto_create.duty) return *auto_create.duty;
  const std::vector<Choice> duties = DutyChoices(db);
  if (duties.empty()) {
    throw Error("no duty exists to give a person made at the first sign-in; name one with "
                "--auto-create DEPARTMENT:DUTY",
                ErrorKind::kBadInput);
  }
  return duties.back().id;
}

IdentityMatch Matched(store::Connection& db, std::int64_t person_id) {
  IdentityMatch match;
  match.person = FindPerson(db, person_id);
  if (!match.person) {
    match.status = IdentityMatch::Status::kUnlinked;
  } else {
    match.status = IsRetired(db, person_id) ? IdentityMatch::Status::kRetired
                                            : IdentityMatch::Status::kPerson;
  }
  return match;
}

IdentityMatch MatchOnce(store::Connection& db, const std::string& key,
                        const ExternalIdentity& identity,
                        const std::optional<AutoCreate>& auto_create,
                        std::string_view client_address) {
  const DateTime now = UtcNow();
  {
    store::Transaction transaction(db);
    const std::optional<IdentityRow> stored = FindIdentity(db, key);
    std::optional<std::int64_t> person;
    if (stored && stored->person_id) {
      person = stored->person_id;
    } else if (const std::optional<Person> claimed = PersonOfClaim(db, identity)) {
      person = claimed->id;
    }
    if (person || !auto_create) {
      WriteIdentity(db, key, identity, person, now);
      transaction.Commit();
      if (person) return Matched(db, *person);
      return IdentityMatch{};
    }
  }
  PersonFields fields;
  fields.name = NewPersonName(identity);
  fields.department_id = auto_create->department;
  fields.duty_id = NewPersonDuty(db, *auto_create);
  const std::int64_t id = AddPerson(db, CheckedPersonFields(db, fields), [&](std::int64_t made) {
    WriteIdentity(db, key, identity, made, now);
    RecordAudit(db, AuditRecord{now, std::nullopt, std::string(audit::kPersonAdded), made,
                                "at the first sign-in through " + identity.issuer,
                                std::string(client_address)});
  });
  IdentityMatch match = Matched(db, id);
  match.created = true;
  return match;
}

}  // namespace

std::string IdentityKey(std::string_view issuer, std::string_view subject) {
  std::string text(issuer);
  text += '\0';
  text += subject;
  return Sha256Hex(text);
}

IdentityMatch MatchIdentity(store::Connection& db, const ExternalIdentity& identity,
                            const std::optional<AutoCreate>& auto_create,
                            std::string_view client_address) {
  CheckField("issuer", identity.issuer, true);
  CheckField("subject", identity.subject, true);
  ExternalIdentity kept = identity;
  kept.claim = Kept(identity.claim);
  kept.display_name = Kept(identity.display_name);
  const std::string key = IdentityKey(kept.issuer, kept.subject);
  try {
    return MatchOnce(db, key, kept, auto_create, client_address);
  } catch (const store::DatabaseError& e) {
    // A second sign-in of the same new identity wrote its row first (the
    // key refused ours, and a person made with it was not kept): take the
    // row it wrote.
    if (e.unavailable() || !FindIdentity(db, key)) throw;
    return MatchOnce(db, key, kept, std::nullopt, client_address);
  }
}

std::vector<IdentityRow> ListIdentities(store::Connection& db, std::optional<std::int64_t> person,
                                        std::size_t offset, std::size_t limit) {
  std::vector<SqlParam> params;
  std::string sql = SelectSql(db);
  if (person) {
    sql += " WHERE personID = ?";
    params.push_back(SqlParam::Integer(*person));
  }
  sql += " ORDER BY CASE WHEN personID IS NULL THEN 0 ELSE 1 END, lastSeenAt DESC, identityKey" +
         store::RowWindow(db.engine(), offset, limit);
  std::vector<IdentityRow> list;
  for (store::RecordSet rows = db.Query(sql, params); !rows.Eof(); rows.MoveNext()) {
    list.push_back(ReadRow(rows));
  }
  return list;
}

std::optional<IdentityRow> FindIdentity(store::Connection& db, std::string_view key) {
  const std::array params{SqlParam::Text(std::string(key))};
  const store::RecordSet rows = db.Query(SelectSql(db) + " WHERE identityKey = ?", params);
  if (rows.Eof()) return std::nullopt;
  return ReadRow(rows);
}

void LinkIdentity(store::Connection& db, std::string_view key, std::optional<std::int64_t> person) {
  if (person && !FindPerson(db, *person)) {
    throw Error("no person with id " + std::to_string(*person), ErrorKind::kNotFound);
  }
  const std::array params{person ? SqlParam::Integer(*person) : SqlParam::Null(),
                          SqlParam::Text(std::string(key))};
  if (db.Execute("UPDATE hostIdentity SET personID = ? WHERE identityKey = ?", params) == 0) {
    throw Error("no sign-in identity '" + std::string(key) + "'", ErrorKind::kNotFound);
  }
}

}  // namespace ostrand::web
