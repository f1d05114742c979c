#include "web/data/audit_log.h"

#include <array>

#include "core/utf8.h"
#include "store/sql_param.h"

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

}  // namespace ostrand::web
