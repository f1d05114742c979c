// The cleaning of stored text for feeds and spreadsheets: whatever bytes the
// database holds come out as UTF-8 without forbidden control characters,
// and text that is clean already stays as it is.
#include "core/utf8.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  const std::string clean = ostrand::CleanText(text);
  Check(ostrand::IsValidUtf8(clean), "clean text is UTF-8");
  Check(ostrand::FirstForbiddenControl(clean) == -1, "clean text holds no forbidden control");
  Check(ostrand::CleanText(clean) == clean, "cleaning twice changes nothing more");
  if (ostrand::IsValidUtf8(text) && ostrand::FirstForbiddenControl(text) == -1) {
    Check(clean == text, "clean text stays as it is");
  }
  return 0;
}
