// Downloads of what a schedule page shows, as a spreadsheet: the leader
// month and week summaries (both conditions) and a person's month, as CSV or
// XLSX (exports/). A download is the page's own address with
// "format=csv" or "format=xlsx" added, so it follows the page's access
// rules to the letter: the same person, day and visitor checks, the same
// rows and texts.
#pragma once

#include <string>

#include "core/date.h"
#include "web/data/persons.h"
#include "web/pages/page_request.h"
#include "web/pages/schedule_pages.h"

namespace ostrand::web {

// Whether the page offers downloads (every page but a person's week).
bool OffersDownloads(const ViewPage& page);

// Appends the download links of the page for the shown person and day:
// <p class="downloads"> with one link per format. Nothing for a page
// without downloads.
void AppendDownloadLinks(std::string& out, Language language, const ViewPage& page,
                         const Person& shown, const DateTime& day);

// Whether the request asks for a download (its query has "format").
bool WantsDownload(const PageRequest& request);

// The file: CSV (text/csv, UTF-8 with a byte order mark) or XLSX, named
// for the page and period ("leaderMonth-2001-12.csv"). Throws HttpError
// 400 for another format or a page without downloads, and as RenderViewPage.
PageReply DownloadViewPage(const ViewPage& page, PageRequest& request);

}  // namespace ostrand::web
