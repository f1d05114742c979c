#include "web/assets/static_assets.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/hex.h"
#include "web/assets/gif_encoder.h"
#include "web/assets/icon_encoder.h"
#include "web/http/answer_coding.h"
#include "web/http/byte_range.h"
#include "web/http/conditional.h"
#include "web/http/content_encoder.h"
#include "web/pages/page_paths.h"

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

// The site icon (16x16): a calendar page with a blue head and a marked day.
const Drawing kFavicon = {{
                              "................",
                              ".##############.",
                              ".#bbbbbbbbbbbb#.",
                              ".#bbbbbbbbbbbb#.",
                              ".##############.",
                              ".#wwwwwwwwwwww#.",
                              ".#wggwggwggwgw#.",
                              ".#wggwggwggwgw#.",
                              ".#wwwwwwwwwwww#.",
                              ".#wggwggwrrwgw#.",
                              ".#wggwggwrrwgw#.",
                              ".#wwwwwwwwwwww#.",
                              ".#wggwggwggwgw#.",
                              ".#wggwggwggwgw#.",
                              ".#wwwwwwwwwwww#.",
                              ".##############.",
                          },
                          ".#bwgr",
                          {{0, 0, 0},
                           {0x2d, 0x4f, 0x86},
                           {0x4a, 0x74, 0xb5},
                           {0xff, 0xff, 0xff},
                           {0x8a, 0xa3, 0xc8},
                           {0xc8, 0x46, 0x3c}},
                          0};

struct Images {
  std::string single_left = EncodeGif(Paint(kSingleLeft, false));
  std::string single_right = EncodeGif(Paint(kSingleLeft, true));
  std::string double_left = EncodeGif(Paint(kDoubleLeft, false));
  std::string double_right = EncodeGif(Paint(kDoubleLeft, true));
  std::string tab_separator = EncodeGif(DrawTabSeparator());
  std::string favicon = EncodeIcon(Paint(kFavicon, false));
};

const Images& DrawnImages() {
  static const Images images;
  return images;
}

constexpr std::string_view kGif = "image/gif";
constexpr std::string_view kCss = "text/css; charset=utf-8";
constexpr std::string_view kIcon = "image/x-icon";
constexpr std::string_view kJavaScript = "text/javascript; charset=utf-8";

// The images under /Images/, in the order of their member in Images.
constexpr std::array<std::string_view, 5> kGifNames = {"jian1.gif", "jian2.gif", "jian3.gif",
                                                       "jian4.gif", "niuban.gif"};

// Every asset's path, for the table of what is sent of each.
std::vector<std::string> AssetPaths() {
  std::vector<std::string> paths = {std::string(kHostStylesheet), std::string(kDayMarksScript),
                                    std::string(kHostScript), std::string(kFaviconPath)};
  for (const std::string_view name : kGifNames) {
    paths.push_back(std::string(kImagesFolder) + std::string(name));
  }
  return paths;
}

// What is sent of one asset besides its bytes: its entity tag and, for a
// type that compresses, its bytes in each offered coding, encoded once
// with the most effort.
struct SentForm {
  std::string etag;
  std::map<http::ContentCoding, std::string> coded;
};

std::string EntityTagOf(std::string_view bytes) {
  std::array<unsigned char, 16> hash{};
  crypto_generichash(hash.data(), hash.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                     bytes.size(), nullptr, 0);
  return "\"" + HexText(hash, HexCase::kLower) + "\"";
}

const std::map<std::string, SentForm, std::less<>>& SentForms() {
  static const std::map<std::string, SentForm, std::less<>> forms = [] {
    std::map<std::string, SentForm, std::less<>> table;
    for (const std::string& path : AssetPaths()) {
      const std::optional<StaticAsset> asset = FindStaticAsset(path);
      if (!asset) throw Error("no static asset at " + path);
      SentForm& form = table[path];
      form.etag = EntityTagOf(asset->bytes);
      if (!http::CompressibleType(asset->content_type) ||
          asset->bytes.size() < http::kSmallestEncodedBody) {
        continue;
      }
      for (const http::ContentCoding coding : http::OfferedCodings()) {
        form.coded[coding] = http::EncodeBody(coding, http::Effort::kStatic, asset->bytes);
      }
    }
    return table;
  }();
  return forms;
}

}  // namespace

void PrepareStaticAssets() { SentForms(); }

std::optional<StaticAsset> FindStaticAsset(std::string_view path) {
  if (path == kHostStylesheet) return StaticAsset{kCss, HostStylesheet()};
  if (path == kDayMarksScript) return StaticAsset{kJavaScript, DayMarksScript()};
  if (path == kHostScript) return StaticAsset{kJavaScript, HostScript()};
  if (path == kFaviconPath) return StaticAsset{kIcon, DrawnImages().favicon};
  if (!path.starts_with(kImagesFolder)) return std::nullopt;
  const std::string_view name = path.substr(kImagesFolder.size());
  const Images& images = DrawnImages();
  const std::array<const std::string*, kGifNames.size()> gifs = {
      &images.single_left, &images.single_right, &images.double_left, &images.double_right,
      &images.tab_separator};
  for (std::size_t i = 0; i < gifs.size(); ++i) {
    if (name == kGifNames[i]) return StaticAsset{kGif, *gifs[i]};
  }
  return std::nullopt;
}

std::optional<http::Response> ServeStaticAsset(const http::Request& request) {
  const std::optional<StaticAsset> asset = FindStaticAsset(request.path);
  if (!asset) return std::nullopt;
  const auto found = SentForms().find(request.path);
  if (found == SentForms().end()) return std::nullopt;
  const SentForm& form = found->second;
  http::Response response;
  response.AddHeader("Cache-Control", "public, max-age=3600");
  response.AddHeader("ETag", form.etag);
  const http::AskedCoding asked = http::AskedCoding::Of(request);
  const auto precompressed = [&form](http::ContentCoding coding) -> std::optional<std::string_view> {
    const auto found = form.coded.find(coding);
    if (found == form.coded.end()) return std::nullopt;
    return std::string_view(found->second);
  };
  if (http::NoneMatchHolds(request.HeaderValue("If-None-Match"), form.etag)) {
    response.status = 304;
    http::EncodeAnswer(asked, response);
    return response;
  }
  response.AddHeader("Accept-Ranges", "bytes");
  const std::string_view range = request.HeaderValue("Range");
  // A Range with If-Range asks for a part of a version we cannot vouch
  // for: the whole file is the safe answer.
  if (range.empty() || !request.HeaderValue("If-Range").empty()) {
    response.SetStaticBody(asset->content_type, asset->bytes);
    http::EncodeAnswer(asked, response, precompressed);
    return response;
  }
  const std::string size = std::to_string(asset->bytes.size());
  const http::RangeAnswer answer = http::AnswerRange(range, asset->bytes.size());
  switch (answer.kind) {
    case http::RangeAnswer::Kind::kWhole:
      response.SetStaticBody(asset->content_type, asset->bytes);
      break;
    case http::RangeAnswer::Kind::kPart:
      response.status = 206;
      response.AddHeader("Content-Range", "bytes " + std::to_string(answer.first) + "-" +
                                              std::to_string(answer.last) + "/" + size);
      response.SetStaticBody(asset->content_type,
                             asset->bytes.substr(answer.first, answer.last - answer.first + 1));
      break;
    case http::RangeAnswer::Kind::kUnsatisfiable:
      response.status = 416;
      response.AddHeader("Content-Range", "bytes */" + size);
      break;
  }
  // Unencoded (a request with Range is), yet it says that it varies.
  http::EncodeAnswer(asked, response);
  return response;
}

}  // namespace ostrand::web
