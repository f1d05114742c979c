// The files the web host serves as they are: the picker arrows and the tab
// separator under /Images/ (the component's markup links them as
// ../Images/NAME.gif from the pages under /schedule/), the host
// stylesheet, which styles the classes the component writes and the page
// chrome around its fragments, the host script (host_script.cpp), and the
// site icon /favicon.ico.
#pragma once

#include <optional>
#include <string_view>

#include "web/http/request.h"
#include "web/http/response.h"

namespace ostrand::web {

struct StaticAsset {
  std::string_view content_type;
  std::string_view bytes;
};

// Returns the asset served at `path` ("/Images/jian1.gif", ...,
// "/static/ostrand.css", "/static/ostrand.js", "/favicon.ico"), or nothing when no asset has that path; the
// comparison is exact. The views point at data that lives for the whole
// program; the images are drawn on the first call, which is thread-safe.
std::optional<StaticAsset> FindStaticAsset(std::string_view path);

// The answer to a GET or HEAD of an asset, or nothing when no asset has the
// request's path. The body is sent from the asset's own bytes, without a
// copy, cacheable for an hour. A Range header is honoured for one range
// (206, or 416 when it starts beyond the end); several ranges, a malformed
// one, or an If-Range get the whole file, so that no request can make the
// answer larger than the file. Needs no database: fit for an I/O thread.
std::optional<http::Response> ServeStaticAsset(const http::Request& request);

// The text of the host stylesheet (also served as /static/ostrand.css).
std::string_view HostStylesheet();

// The text of the host script that marks today, weekends and holidays
// (also served as /static/days.js).
std::string_view DayMarksScript();
// The text of the host script (also served as /static/ostrand.js).
std::string_view HostScript();

}  // namespace ostrand::web
