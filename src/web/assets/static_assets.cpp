#include "web/assets/static_assets.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/error.h"
#include "web/assets/gif_encoder.h"

namespace ostrand::web {
namespace {

// Pixel art: one text per row, one character per pixel, each character an
// index into `legend` (a character missing from it is a drawing mistake).
struct Drawing {
  std::vector<std::string_view> rows;
  std::string_view legend;
  std::vector<GifColor> palette;  // palette[i] is the colour of legend[i]
  std::optional<std::uint8_t> transparent;
};

GifImage Paint(const Drawing& drawing, bool mirrored) {
  GifImage image;
  image.height = static_cast<int>(drawing.rows.size());
  image.width = drawing.rows.empty() ? 0 : static_cast<int>(drawing.rows.front().size());
  image.palette = drawing.palette;
  image.transparent = drawing.transparent;
  image.pixels.reserve(static_cast<std::size_t>(image.width) *
                       static_cast<std::size_t>(image.height));
  for (const std::string_view row : drawing.rows) {
    if (static_cast<int>(row.size()) != image.width) throw Error("ragged drawing row");
    std::string line(row);
    if (mirrored) std::reverse(line.begin(), line.end());
    for (const char c : line) {
      const std::size_t index = drawing.legend.find(c);
      if (index == std::string_view::npos) throw Error(std::string("no colour for '") + c + "'");
      image.pixels.push_back(static_cast<std::uint8_t>(index));
    }
  }
  return image;
}

// The picker arrows: dark chevrons with a lighter trailing edge on a
// transparent ground, so they sit on any background. The right-pointing
// arrows are the left ones mirrored.
const std::vector<GifColor> kArrowPalette = {{0, 0, 0}, {0x2d, 0x4f, 0x86}, {0x8a, 0xa3, 0xc8}};

const Drawing kSingleLeft = {{
                                 ".......##+.",
                                 "......##+..",
                                 ".....##+...",
                                 "....##+....",
                                 "...##+.....",
                                 "..##+......",
                                 "...##+.....",
                                 "....##+....",
                                 ".....##+...",
                                 "......##+..",
                                 ".......##+.",
                             },
                             ".#+",
                             kArrowPalette,
                             0};

const Drawing kDoubleLeft = {{
                                 ".......##+.##+.",
                                 "......##+.##+..",
                                 ".....##+.##+...",
                                 "....##+.##+....",
                                 "...##+.##+.....",
                                 "..##+.##+......",
                                 "...##+.##+.....",
                                 "....##+.##+....",
                                 ".....##+.##+...",
                                 "......##+.##+..",
                                 ".......##+.##+.",
                             },
                             ".#+",
                             kArrowPalette,
                             0};

// The tab separator (22x22): the right edge of a tab sloping down to the
// right. Below the slope it is transparent, so the cell's colour (that of
// the tab on its left) runs on into the slope; above it is the page's white.
GifImage DrawTabSeparator() {
  constexpr int kSize = 22;
  GifImage image;
  image.width = kSize;
  image.height = kSize;
  image.palette = {{0, 0, 0}, {0xff, 0xff, 0xff}, {0x6f, 0x82, 0x9c}, {0xb9, 0xc4, 0xd3}};
  image.transparent = 0;
  image.pixels.reserve(kSize * kSize);
  for (int row = 0; row < kSize; ++row) {
    for (int col = 0; col < kSize; ++col) {
      std::uint8_t pixel = 1;         // white above the slope
      if (col < row) pixel = 0;       // the tab
      if (col == row) pixel = 2;      // the edge
      if (col == row + 1) pixel = 3;  // its soft outer side
      image.pixels.push_back(pixel);
    }
  }
  return image;
}

struct Images {
  std::string single_left = EncodeGif(Paint(kSingleLeft, false));
  std::string single_right = EncodeGif(Paint(kSingleLeft, true));
  std::string double_left = EncodeGif(Paint(kDoubleLeft, false));
  std::string double_right = EncodeGif(Paint(kDoubleLeft, true));
  std::string tab_separator = EncodeGif(DrawTabSeparator());
};

const Images& DrawnImages() {
  static const Images images;
  return images;
}

constexpr std::string_view kGif = "image/gif";
constexpr std::string_view kCss = "text/css; charset=utf-8";

}  // namespace

std::optional<StaticAsset> FindStaticAsset(std::string_view path) {
  if (path == "/static/ostrand.css") return StaticAsset{kCss, HostStylesheet()};
  if (!path.starts_with("/Images/")) return std::nullopt;
  const Images& images = DrawnImages();
  const std::array<std::pair<std::string_view, const std::string*>, 5> gifs = {{
      {"/Images/jian1.gif", &images.single_left},
      {"/Images/jian2.gif", &images.single_right},
      {"/Images/jian3.gif", &images.double_left},
      {"/Images/jian4.gif", &images.double_right},
      {"/Images/niuban.gif", &images.tab_separator},
  }};
  for (const auto& [name, bytes] : gifs) {
    if (path == name) return StaticAsset{kGif, *bytes};
  }
  return std::nullopt;
}

}  // namespace ostrand::web
