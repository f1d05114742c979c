// The reader of calendar objects that clients put: any bytes are read or
// refused with a ConditionError, every plan read can be stored, and what is
// written back from the plans read reads again into the same plans and
// expands into instances.
#include "feeds/event_object.h"
#include "feeds/time_zone.h"
#include "fuzz_check.h"
#include "plans/plan_import.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ostrand::feeds::TimeZone zone = ostrand::feeds::TimeZone::Named("Asia/Shanghai");
  const ostrand::feeds::EventLimits limits{366, 200};
  ostrand::feeds::EventObject read;
  try {
    read = ostrand::feeds::ReadEventObject(ostrand::fuzz::AsText(data, size), zone, limits);
  } catch (const ostrand::feeds::ConditionError&) {
    return 0;
  }
  for (const ostrand::feeds::EventInstance& instance : read.instances) {
    Check(!ostrand::plans::PlanRecordProblem(instance.plan), "a plan read can be stored");
  }
  const std::string written = ostrand::feeds::WriteEventObject(read.kept, read.instances, zone);
  try {
    const ostrand::feeds::EventObject again =
        ostrand::feeds::ReadEventObject(written, zone, limits);
    Check(again.instances == read.instances, "the written object reads into the same plans");
  } catch (const ostrand::feeds::ConditionError&) {
    Check(false, "the written object reads again");
  }
  // Expanded over the first instance's month, the written object is an
  // object again.
  if (!read.instances.empty()) {
    const ostrand::DateTime first = read.instances.front().plan.start.DateOnly();
    const std::string expanded = ostrand::feeds::ExpandedCalendarText(
        written, zone, first.year() > 100 ? first.AddDays(-1) : first,
        first.year() < 9999 ? first.AddDays(31) : ostrand::DateTime::Latest());
    Check(expanded.find("BEGIN:VCALENDAR") == 0, "the expanded instances are a calendar");
  }
  // A change of every plan may leave a series without instances (which is
  // refused), never with a text that does not parse.
  const std::string replaced = ostrand::feeds::ReplaceMaster(read.kept, read.master, zone);
  try {
    ostrand::feeds::ExpandEventObject(replaced, zone, limits);
  } catch (const ostrand::feeds::ConditionError&) {
  }
  return 0;
}
