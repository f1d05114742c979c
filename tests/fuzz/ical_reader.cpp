// The iCalendar reader of imports: any file gives plans and problems without
// failing, and every plan it gives is one the store would take.
#include "feeds/ical_reader.h"
#include "feeds/time_zone.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ostrand::feeds::TimeZone zone = ostrand::feeds::TimeZone::Named("Asia/Shanghai");
  const ostrand::plans::ImportResult result =
      ostrand::feeds::ReadCalendar(ostrand::fuzz::AsText(data, size), zone);
  for (const ostrand::plans::ImportedPlan& imported : result.plans) {
    Check(!ostrand::plans::PlanRecordProblem(imported.plan), "an imported plan can be stored");
  }
  return 0;
}
