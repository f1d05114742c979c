// The files the web host serves as they are: the picker arrows and the tab
// separator under /Images/ (the component's markup links them as
// ../Images/NAME.gif from the pages under /schedule/), the host
// stylesheet, which styles the classes the component writes and the page
// chrome around its fragments, the host scripts, and the
// site icon /favicon.ico.
//
// The stylesheet and the two scripts are the files ostrand.css, ostrand.js
// and days.js of this folder, compiled in byte for byte at build time
// (cmake/embed.cmake): edit those files, the build picks them up.
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
// request's path. The body is sent from the asset's own bytes, or from
// those bytes compressed once (the stylesheet and scripts, in each coding
// of http/accept_encoding.h, chosen as http/answer_coding.h says), without
// a copy, cacheable for an hour, with an entity tag of the bytes (304 to an
// If-None-Match naming it, in either form). A Range header is honoured for
// one range of the unencoded bytes (206, or 416 when it starts beyond the
// end); several ranges, a malformed one, or an If-Range get the whole file,
// so that no request can make the answer larger than the file. Needs no
// database: fit for an I/O thread.
std::optional<http::Response> ServeStaticAsset(const http::Request& request);

// Draws the images and compresses the text files now rather than at the
// first request (a server calls it as it starts). Thread-safe; throws
// Error when an encoder fails.
void PrepareStaticAssets();

// The text of the host stylesheet (ostrand.css, also served as
// /static/ostrand.css). The component's own stylesheet (written by
// SetDispStyle) styles its furniture classes; this one styles the classes
// its views write but leave to the host (the tabs, the day cells and the
// kinds of place) and the chrome the host puts around the fragments
// (navigation bar, sign-in, day editor, legends, error pages).
//
// The four kinds of place keep one colour each everywhere: the day cells of
// the month grid and the leader summaries (sch1..sch4), the entries of the
// week view (spans sch1..sch4), the compact cells (Office, Beijing, Outside,
// Aboad) and the legends. Background and edge differ in hue, not only in
// lightness, so they stay apart for most colour-blind readers as well. Each
// edge colour, used for the markers' text, has a contrast of at least
// 4.5:1 on its own background and on white.
std::string_view HostStylesheet();

// The text of the host script that marks today, weekends and holidays
// (days.js, also served as /static/days.js) on the component's views, whose
// markup stays as the component writes it. The page carries the facts in
// #day-marks (pages/day_marks.h); the script only finds the cells of those
// dates and adds classes, a tooltip and a small label. It holds no text of
// its own.
std::string_view DayMarksScript();

// The text of the host script (ostrand.js, also served as
// /static/ostrand.js), loaded (deferred) by every page. It leaves the
// component's markup as it was written and only adds what keyboards and
// screen readers need, at run time:
// - the picker arrows get their text alternative from the picker's
//   data-jian1..4 attributes (the page writes them in its language); other
//   images of the fragments are marked as decoration (alt="");
// - a marker of a leader summary gets the kind of place it stands for, read
//   from the page's legend, as text for screen readers;
// - where the page says its days may be edited (data-edit-days), each day
//   cell that opens the editor is reached with Tab and opened with Enter or
//   Space.
std::string_view HostScript();

}  // namespace ostrand::web
