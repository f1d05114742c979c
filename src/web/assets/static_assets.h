// The files the web host serves as they are: the picker arrows and the tab
// separator under /Images/ (the component's markup links them as
// ../Images/NAME.gif from the pages under /schedule/), and the host
// stylesheet, which styles the classes the component writes and the page
// chrome around its fragments.
#pragma once

#include <optional>
#include <string_view>

namespace ostrand::web {

struct StaticAsset {
  std::string_view content_type;
  std::string_view bytes;
};

// Returns the asset served at `path` ("/Images/jian1.gif", ...,
// "/static/ostrand.css"), or nothing when no asset has that path; the
// comparison is exact. The views point at data that lives for the whole
// program; the images are drawn on the first call, which is thread-safe.
std::optional<StaticAsset> FindStaticAsset(std::string_view path);

// The text of the host stylesheet (also served as /static/ostrand.css).
std::string_view HostStylesheet();

}  // namespace ostrand::web
