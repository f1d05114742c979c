// The sync tokens calendar programs send back: any text reads as a number
// of this site or as none, without failing; a number read makes a token
// that reads as the same number, and no token of another site reads.
#include "web/data/sync_token.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;
namespace web = ostrand::web;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  constexpr std::string_view kIdentity = "0a1b2c3d4e5f.ostrand";
  const std::optional<std::int64_t> number = web::ReadSyncToken(text, kIdentity);
  if (!number) return 0;
  Check(*number >= 0, "a change number is whole");
  const std::string token = web::MakeSyncToken("https://site.example", kIdentity, *number);
  Check(web::ReadSyncToken(token, kIdentity) == number, "a token made reads as its number");
  Check(!web::ReadSyncToken(text, "ffffffffffff.ostrand"), "another site's identity never reads");
  return 0;
}
