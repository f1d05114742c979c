// The holiday file reader: any file, CSV or iCalendar, gives days and
// problems without failing, and every day it gives is one the hostHoliday
// table would take: a midnight in years 100..9999, each date once and in
// order, a name of one line of UTF-8 within kMaxHolidayNameLength.
#include "holidays/holiday_file.h"
#include "core/utf8.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;
namespace holidays = ostrand::holidays;

namespace {

void CheckFile(const holidays::HolidayFile& file) {
  Check(file.days.size() <= holidays::kMaxFileDays, "a file gives at most kMaxFileDays days");
  for (std::size_t i = 0; i < file.days.size(); ++i) {
    const holidays::Holiday& day = file.days[i];
    Check(day.date.seconds() == 0, "a holiday is a midnight");
    Check(day.date.year() >= 100 && day.date.year() <= 9999, "a holiday lies in years 100..9999");
    Check(i == 0 || file.days[i - 1].date.day() < day.date.day(), "days by date, each once");
    Check(!day.name.empty() && ostrand::IsValidUtf8(day.name) &&
              !ostrand::HasControlCharacter(day.name) &&
              ostrand::CountCharacters(day.name) <= holidays::kMaxHolidayNameLength,
          "a holiday's name is one line of UTF-8 within the limit");
    Check(!day.demo, "a read day is no demo day");
  }
  for (std::size_t i = 0; i < file.problems.size(); ++i) {
    Check(file.problems[i].line >= 1, "a problem names its line");
    Check(!file.problems[i].reason.empty(), "a problem gives its reason");
    Check(i == 0 || file.problems[i - 1].line <= file.problems[i].line, "problems by line");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  const holidays::HolidayFile file = holidays::ReadHolidayFile(text);
  CheckFile(file);
  // The file is read as one of the two forms; each must hold up on any text.
  std::string_view body = text;
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  const holidays::HolidayFile csv = holidays::ReadHolidayCsv(text);
  const holidays::HolidayFile calendar = holidays::ReadHolidayCalendar(body);
  CheckFile(csv);
  CheckFile(calendar);
  Check(file.days == csv.days || file.days == calendar.days, "a file is read as CSV or iCalendar");
  return 0;
}
