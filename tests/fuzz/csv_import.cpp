// The CSV reader of imports: any file gives plans and problems without
// failing, and every plan it gives is one the store would take.
#include "exports/csv_import.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ostrand::plans::ImportResult result =
      ostrand::exports::ReadPlansCsv(ostrand::fuzz::AsText(data, size));
  for (const ostrand::plans::ImportedPlan& imported : result.plans) {
    Check(!ostrand::plans::PlanRecordProblem(imported.plan), "an imported plan can be stored");
    Check(imported.line >= 1, "a plan names its line");
  }
  return 0;
}
