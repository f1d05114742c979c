// The staff file reader: any file gives records and problems without
// failing; a record's fields are trimmed and it names its line; what the
// writer writes of the records reads back, record for record.
#include "exports/staff_csv.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ostrand::plans::StaffFile file =
      ostrand::exports::ReadStaffCsv(ostrand::fuzz::AsText(data, size));
  for (const ostrand::plans::StaffRecord& record : file.records) {
    Check(record.line >= 2, "a record comes after the heading");
  }
  const ostrand::plans::StaffFile again =
      ostrand::exports::ReadStaffCsv(ostrand::exports::WriteStaffCsv(file.records));
  Check(again.problems.empty(), "a written file reads without problems");
  Check(again.records.size() == file.records.size(), "every record reads back");
  return 0;
}
