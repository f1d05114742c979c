#include "web/data/mail_settings.h"

#include <algorithm>
#include <array>

#include "core/error.h"
#include "plans/retired.h"
#include "store/sql_param.h"
#include "web/data/audit_log.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

constexpr std::size_t kLongestAddress = 254;

bool IsChoice(std::string_view choice) {
  return std::find(std::begin(kMailChoices), std::end(kMailChoices), choice) !=
         std::end(kMailChoices);
}

// The value as an error message may quote it.
std::string Quoted(std::string_view text) { return ShortDetail(text, 80); }

}  // namespace

bool IsMailAddress(std::string_view text) {
  if (text.empty() || text.size() > kLongestAddress) return false;
  const std::size_t at = text.find('@');
  if (at == 0 || at == std::string_view::npos || at + 1 == text.size() ||
      text.find('@', at + 1) != std::string_view::npos) {
    return false;
  }
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f || c == '<' || c == '>' || c == ',' || c == ';' ||
        c == '"' || c == '\\' || c == '(' || c == ')' || c == '[' || c == ']' || c == ':') {
      return false;
    }
  }
  const std::string_view domain = text.substr(at + 1);
  return domain.front() != '.' && domain.back() != '.' &&
         domain.find("..") == std::string_view::npos;
}

std::optional<MailAddress> MailAddressOf(store::Connection& db, std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  const store::RecordSet rows =
      db.Query("SELECT address, language FROM hostMailAddress WHERE personID = ?", params);
  if (rows.Eof()) return std::nullopt;
  return MailAddress{Text(rows, 0), Text(rows, 1)};
}

void SetMailAddress(store::Connection& db, std::int64_t person_id, std::string_view address,
                    std::string_view language, const DateTime& now) {
  if (!address.empty() && !IsMailAddress(address)) {
    throw Error("'" + Quoted(address) + "' is not a mail address", ErrorKind::kBadInput);
  }
  if (language != "zh" && language != "en") {
    throw Error("'" + Quoted(language) + "' is not a language of mails (zh, en)",
                ErrorKind::kBadInput);
  }
  store::Transaction transaction(db);
  const std::array key{store::SqlParam::Integer(person_id)};
  db.Execute("DELETE FROM hostMailAddress WHERE personID = ?", key);
  if (!address.empty()) {
    const std::array row{key[0], store::SqlParam::Text(std::string(address)),
                         store::SqlParam::Text(std::string(language)),
                         store::SqlParam::Timestamp(now)};
    db.Execute(
        "INSERT INTO hostMailAddress (personID, address, language, changedAt) VALUES (?, ?, ?, ?)",
        row);
  }
  transaction.Commit();
}

std::vector<std::string> MailChoicesOf(store::Connection& db, std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  store::RecordSet rows =
      db.Query("SELECT choice FROM hostMailChoice WHERE personID = ?", params);
  std::vector<std::string> stored;
  for (; !rows.Eof(); rows.MoveNext()) stored.push_back(Text(rows, 0));
  std::vector<std::string> choices;
  for (const std::string_view choice : kMailChoices) {
    if (std::find(stored.begin(), stored.end(), choice) != stored.end()) {
      choices.emplace_back(choice);
    }
  }
  return choices;
}

void SetMailChoice(store::Connection& db, std::int64_t person_id, std::string_view choice,
                   bool wanted, const DateTime& now) {
  if (!IsChoice(choice)) {
    throw Error("'" + Quoted(choice) + "' is not a mail one may ask for", ErrorKind::kBadInput);
  }
  store::Transaction transaction(db);
  const std::array key{store::SqlParam::Integer(person_id),
                       store::SqlParam::Text(std::string(choice))};
  db.Execute("DELETE FROM hostMailChoice WHERE personID = ? AND choice = ?", key);
  if (wanted) {
    const std::array row{key[0], key[1], store::SqlParam::Timestamp(now)};
    db.Execute("INSERT INTO hostMailChoice (personID, choice, chosenAt) VALUES (?, ?, ?)", row);
  }
  transaction.Commit();
}

std::vector<std::int64_t> PersonsChoosing(store::Connection& db, std::string_view choice) {
  const std::array params{store::SqlParam::Text(std::string(choice))};
  store::RecordSet rows = db.Query(
      "SELECT c.personID FROM hostMailChoice c JOIN hostMailAddress a ON a.personID = c.personID "
      "WHERE c.choice = ? AND " + plans::NotRetired("c.personID") + " ORDER BY c.personID",
      params);
  std::vector<std::int64_t> persons;
  for (; !rows.Eof(); rows.MoveNext()) persons.push_back(Int(rows, 0));
  return persons;
}

}  // namespace ostrand::web
