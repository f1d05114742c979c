// The XLSX export of a schedule page's grid, written with libxlsxwriter.
#pragma once

#include <string>

#include "exports/grid.h"

namespace ostrand::exports {

// The grid as a workbook of one sheet named by the grid's title: a heading
// row ("姓名", then the DayHeading of every day) in the colours of the
// pages' heading, then one row per person, the same texts as WriteGridCsv
// writes (without its apostrophe guard: the cells are text, never
// formulas). A day cell takes the colours of its kind of place as the pages
// show them (background and a thick left edge); texts wrap; the heading row
// and the name column stay in place when scrolling.
//
// Builds the workbook in a temporary file, which is gone when this returns.
// Throws Error with libxlsxwriter's message when it cannot be written (the
// temporary directory is not writable, a cell's text exceeds 32767
// characters).
std::string WriteGridXlsx(const Grid& grid);

}  // namespace ostrand::exports
