#include "web/data/audit_log.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

#include "core/utf8.h"
#include "store/engine_sql.h"
#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {

void RecordAudit(store::Connection& db, const AuditRecord& record) {
  const auto id = [](const std::optional<std::int64_t>& value) {
    return value ? store::SqlParam::Integer(*value) : store::SqlParam::Null();
  };
  const std::string_view address = Utf8Prefix(record.address, kAuditAddressLimit);
  const std::array params{
      store::SqlParam::Timestamp(record.at),
      id(record.actor),
      store::SqlParam::Text(record.kind),
      id(record.subject),
      store::SqlParam::Text(std::string(Utf8Prefix(record.detail, kAuditDetailLimit))),
      address.empty() ? store::SqlParam::Null() : store::SqlParam::Text(std::string(address))};
  db.Execute(
      "INSERT INTO hostAudit (at, actorID, kind, subjectID, detail, address) "
      "VALUES (?, ?, ?, ?, ?, ?)",
      params);
}

namespace {

// The WHERE clause of a filter and its values, in order.
struct Where {
  std::string sql;
  std::vector<store::SqlParam> params;
};

Where WhereOf(const AuditFilter& filter) {
  Where where;
  const auto add = [&where](std::string_view condition) {
    where.sql += where.sql.empty() ? " WHERE " : " AND ";
    where.sql += condition;
  };
  if (!filter.persons.empty()) {
    std::string marks;
    for (std::size_t i = 0; i < filter.persons.size(); ++i) marks += i == 0 ? "?" : ", ?";
    add("(h.actorID IN (" + marks + ") OR h.subjectID IN (" + marks + "))");
    for (int pass = 0; pass < 2; ++pass) {
      for (const std::int64_t id : filter.persons) where.params.push_back(store::SqlParam::Integer(id));
    }
  }
  if (!filter.kind.empty()) {
    add("h.kind = ?");
    where.params.push_back(store::SqlParam::Text(filter.kind));
  }
  if (filter.from) {
    add("h.at >= ?");
    where.params.push_back(store::SqlParam::Timestamp(filter.from->DateOnly()));
  }
  if (filter.to) {
    add("h.at < ?");
    where.params.push_back(store::SqlParam::Timestamp(filter.to->DateOnly().AddDays(1)));
  }
  return where;
}

}  // namespace

std::int64_t CountAudit(store::Connection& db, const AuditFilter& filter) {
  const Where where = WhereOf(filter);
  const store::RecordSet rows = db.Query("SELECT COUNT(*) FROM hostAudit h" + where.sql, where.params);
  return rows.Eof() ? 0 : Int(rows, 0);
}

std::vector<StoredAudit> ListAudit(store::Connection& db, const AuditFilter& filter,
                                   std::int64_t skip, std::int64_t count) {
  std::vector<StoredAudit> records;
  if (count <= 0) return records;
  const Where where = WhereOf(filter);
  const std::string sql =
      "SELECT h.auditID, " + store::TimeText(db.engine(), "h.at") +
      ", h.actorID, h.kind, h.subjectID, h.detail, h.address, a.personName, s.personName "
      "FROM hostAudit h LEFT JOIN person a ON a.personID = h.actorID "
      "LEFT JOIN person s ON s.personID = h.subjectID" +
      where.sql + " ORDER BY h.at DESC, h.auditID DESC" +
      store::RowWindow(db.engine(), static_cast<std::size_t>(std::max<std::int64_t>(skip, 0)),
                        static_cast<std::size_t>(count));
  for (store::RecordSet rows = db.Query(sql, where.params); !rows.Eof(); rows.MoveNext()) {
    StoredAudit stored;
    stored.id = Int(rows, 0);
    stored.record.at = store::ReadStoredDateTime(Text(rows, 1)).value_or(DateTime::Earliest());
    stored.record.actor = OptionalInt(rows, 2);
    stored.record.kind = Text(rows, 3);
    stored.record.subject = OptionalInt(rows, 4);
    stored.record.detail = Text(rows, 5);
    stored.record.address = Text(rows, 6);
    stored.actor_name = Text(rows, 7);
    stored.subject_name = Text(rows, 8);
    records.push_back(std::move(stored));
  }
  return records;
}

std::int64_t PruneAudit(store::Connection& db, const DateTime& now, int days) {
  if (days <= 0) return 0;
  const std::array cutoff{store::SqlParam::Timestamp(now.AddDays(-days))};
  return db.Execute("DELETE FROM hostAudit WHERE at < ?", cutoff);
}

std::string ShortDetail(std::string_view text, std::size_t max_bytes) {
  std::string clean = CleanText(text);
  std::replace_if(clean.begin(), clean.end(), [](char c) { return c == '\t' || c == '\n'; }, ' ');
  return std::string(Utf8Prefix(clean, max_bytes));
}

bool IsAuditKind(std::string_view kind) {
  return std::find(std::begin(audit::kKinds), std::end(audit::kKinds), kind) !=
         std::end(audit::kKinds);
}

std::string AuditKindList() {
  std::string list;
  for (const std::string_view kind : audit::kKinds) {
    if (!list.empty()) list += ", ";
    list += kind;
  }
  return list;
}

bool PruneSchedule::Due(std::int64_t now) {
  std::int64_t next = next_.load();
  while (now >= next) {
    if (next_.compare_exchange_weak(next, now + interval_)) return true;
  }
  return false;
}

}  // namespace ostrand::web
