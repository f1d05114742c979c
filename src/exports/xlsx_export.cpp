#include "exports/xlsx_export.h"

#include <unistd.h>
#include <xlsxwriter.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/error.h"
#include "core/utf8.h"
#include "exports/sheet_cells.h"

namespace ostrand::exports {
namespace {

// The host stylesheet's colours: the heading (--tab, white text), the name
// cells (--brand-light), the lines (--line), and per kind of place the
// background and the edge (--office, --beijing, --outside, --abroad).
constexpr lxw_color_t kHeading = 0x5B7BAB;
constexpr lxw_color_t kNameCell = 0xDFE7F3;
constexpr lxw_color_t kLine = 0xC9D1DC;
struct KindColours {
  lxw_color_t background;
  lxw_color_t edge;
};
constexpr std::array<KindColours, 4> kKinds = {
    {{0xD3ECC8, 0x3F8F2F}, {0xCDE0FB, 0x2D6CC9}, {0xFDE0A6, 0xC07A00}, {0xF6C6D5, 0xBD3563}}};

constexpr double kNameWidth = 10;
constexpr double kDayWidth = 16;

// A file of its own in the temporary directory, removed with the object.
class TempFile {
 public:
  TempFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrand-xlsx-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw Error("cannot make a temporary file for the workbook");
    ::close(fd);
    path_ = std::move(pattern);
  }
  ~TempFile() { ::unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct WorkbookFree {
  void operator()(lxw_workbook* w) const { lxw_workbook_free(w); }
};

void Check(lxw_error status) {
  if (status != LXW_NO_ERROR) {
    throw Error(std::string("cannot write the workbook: ") + lxw_strerror(status));
  }
}

lxw_format* CellFormat(lxw_workbook* book) {
  lxw_format* f = workbook_add_format(book);
  format_set_text_wrap(f);
  format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
  format_set_border(f, LXW_BORDER_THIN);
  format_set_border_color(f, kLine);
  return f;
}

lxw_format* Filled(lxw_format* f, lxw_color_t colour) {
  format_set_pattern(f, LXW_PATTERN_SOLID);
  format_set_bg_color(f, colour);
  return f;
}

}  // namespace

std::string WriteGridXlsx(const Grid& grid) {
  const TempFile file;
  std::unique_ptr<lxw_workbook, WorkbookFree> book(workbook_new(file.path().c_str()));
  if (!book) throw Error("cannot start the workbook");
  lxw_worksheet* sheet = workbook_add_worksheet(book.get(), CleanText(grid.title).c_str());
  if (sheet == nullptr) throw Error("invalid sheet name '" + grid.title + "'");

  lxw_format* heading = Filled(CellFormat(book.get()), kHeading);
  format_set_bold(heading);
  format_set_font_color(heading, LXW_COLOR_WHITE);
  lxw_format* name = Filled(CellFormat(book.get()), kNameCell);
  std::array<lxw_format*, 5> day{};
  day[0] = CellFormat(book.get());
  for (std::size_t k = 1; k <= kKinds.size(); ++k) {
    day[k] = Filled(CellFormat(book.get()), kKinds[k - 1].background);
    format_set_left(day[k], LXW_BORDER_THICK);
    format_set_left_color(day[k], kKinds[k - 1].edge);
  }

  const auto columns = static_cast<lxw_col_t>(grid.days.size());
  Check(worksheet_set_column(sheet, 0, 0, kNameWidth, nullptr));
  if (columns > 0) Check(worksheet_set_column(sheet, 1, columns, kDayWidth, nullptr));
  Check(worksheet_write_string(sheet, 0, 0, std::string(kNameHeading).c_str(), heading));
  for (lxw_col_t c = 0; c < columns; ++c) {
    Check(worksheet_write_string(sheet, 0, c + 1, DayHeading(grid.days[c]).c_str(), heading));
  }
  lxw_row_t r = 1;
  for (const GridRow& row : grid.rows) {
    Check(worksheet_write_string(sheet, r, 0, CleanText(row.name).c_str(), name));
    for (lxw_col_t c = 0; c < row.cells.size() && c < columns; ++c) {
      const GridCell& cell = row.cells[c];
      lxw_format* f = day[cell.kind >= 1 && cell.kind <= 4 ? cell.kind : 0];
      if (cell.text.empty()) {
        Check(worksheet_write_blank(sheet, r, c + 1, f));
      } else {
        Check(worksheet_write_string(sheet, r, c + 1, CleanText(cell.text).c_str(), f));
      }
    }
    ++r;
  }
  worksheet_freeze_panes(sheet, 1, 1);
  Check(workbook_close(book.release()));

  std::ifstream in(file.path(), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) throw Error("cannot read back the workbook");
  return bytes.str();
}

}  // namespace ostrand::exports
