#include "web/data/second_factor_table.h"

#include <array>

#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

std::array<store::SqlParam, 1> Person(std::int64_t person_id) {
  return {store::SqlParam::Integer(person_id)};
}

}  // namespace

std::optional<StoredSecondFactor> FindSecondFactor(store::Connection& db, std::int64_t person_id) {
  const store::RecordSet rows = db.Query(
      "SELECT secret, enrolledAt, confirmedAt, lastStep FROM hostSecondFactor WHERE personID = ?",
      Person(person_id));
  if (rows.Eof()) return std::nullopt;
  StoredSecondFactor factor;
  factor.sealed_secret = Text(rows, 0);
  factor.enrolled_at = store::ReadStoredDateTime(Text(rows, 1));
  if (const std::optional<std::string> confirmed = OptionalText(rows, 2)) {
    factor.confirmed = true;
    factor.confirmed_at = store::ReadStoredDateTime(*confirmed);
  }
  factor.last_step = OptionalInt(rows, 3);
  return factor;
}

bool HasConfirmedSecondFactor(store::Connection& db, std::int64_t person_id) {
  return !db.Query(
                "SELECT personID FROM hostSecondFactor WHERE personID = ? AND confirmedAt IS NOT "
                "NULL",
                Person(person_id))
              .Eof();
}

bool PutUnconfirmedSecondFactor(store::Connection& db, std::int64_t person_id,
                                const std::string& sealed_secret, const DateTime& now) {
  if (HasConfirmedSecondFactor(db, person_id)) return false;
  db.Execute("DELETE FROM hostSecondFactor WHERE personID = ?", Person(person_id));
  const std::array row{store::SqlParam::Integer(person_id), store::SqlParam::Text(sealed_secret),
                       store::SqlParam::Timestamp(now)};
  db.Execute("INSERT INTO hostSecondFactor (personID, secret, enrolledAt) VALUES (?, ?, ?)", row);
  return true;
}

bool ConfirmSecondFactor(store::Connection& db, std::int64_t person_id,
                         const std::string& sealed_secret, std::int64_t step, const DateTime& now) {
  const std::array params{store::SqlParam::Timestamp(now), store::SqlParam::Integer(step),
                          store::SqlParam::Integer(person_id),
                          store::SqlParam::Text(sealed_secret)};
  return db.Execute(
             "UPDATE hostSecondFactor SET confirmedAt = ?, lastStep = ? "
             "WHERE personID = ? AND secret = ? AND confirmedAt IS NULL",
             params) > 0;
}

bool TakeCodeStep(store::Connection& db, std::int64_t person_id, std::int64_t step) {
  const std::array params{store::SqlParam::Integer(step), store::SqlParam::Integer(person_id),
                          store::SqlParam::Integer(step)};
  return db.Execute(
             "UPDATE hostSecondFactor SET lastStep = ? WHERE personID = ? "
             "AND confirmedAt IS NOT NULL AND (lastStep IS NULL OR lastStep < ?)",
             params) > 0;
}

bool RemoveSecondFactor(store::Connection& db, std::int64_t person_id) {
  db.Execute("DELETE FROM hostRecoveryCode WHERE personID = ?", Person(person_id));
  return db.Execute("DELETE FROM hostSecondFactor WHERE personID = ?", Person(person_id)) > 0;
}

void ReplaceRecoveryCodes(store::Connection& db, std::int64_t person_id,
                          const std::vector<std::string>& hashes, const DateTime& now) {
  db.Execute("DELETE FROM hostRecoveryCode WHERE personID = ?", Person(person_id));
  for (const std::string& hash : hashes) {
    const std::array row{store::SqlParam::Text(hash), store::SqlParam::Integer(person_id),
                         store::SqlParam::Timestamp(now)};
    db.Execute("INSERT INTO hostRecoveryCode (codeHash, personID, createdAt) VALUES (?, ?, ?)",
               row);
  }
}

bool TakeRecoveryCode(store::Connection& db, std::int64_t person_id, const std::string& hash,
                      const DateTime& now) {
  const std::array params{store::SqlParam::Timestamp(now), store::SqlParam::Text(hash),
                          store::SqlParam::Integer(person_id)};
  return db.Execute(
             "UPDATE hostRecoveryCode SET usedAt = ? "
             "WHERE codeHash = ? AND personID = ? AND usedAt IS NULL",
             params) > 0;
}

std::int64_t UnusedRecoveryCodes(store::Connection& db, std::int64_t person_id) {
  const store::RecordSet rows =
      db.Query("SELECT COUNT(*) FROM hostRecoveryCode WHERE personID = ? AND usedAt IS NULL",
               Person(person_id));
  return rows.Eof() ? 0 : Int(rows, 0);
}

}  // namespace ostrand::web
