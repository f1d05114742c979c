// The drawn images and the host stylesheet. The images are read back with an
// independent GIF decoder, so a fault of the encoder (bit packing, code
// width, sub-blocks, colour table) shows as wrong pixels, not only as a
// wrong header.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "web/assets/gif_encoder.h"
#include "web/assets/static_assets.h"

namespace ostrand::web {
namespace {

struct DecodedGif {
  int width = 0;
  int height = 0;
  std::vector<GifColor> palette;
  std::optional<std::uint8_t> transparent;
  std::vector<std::uint8_t> pixels;
};

// A plain GIF reader for single-frame files: screen descriptor, global
// colour table, extensions, one image with its LZW data.
class GifReader {
 public:
  explicit GifReader(std::string_view bytes) : bytes_(bytes) {}

  DecodedGif Read() {
    DecodedGif gif;
    if (Take(6) != "GIF89a") throw Error("not a GIF89a file");
    gif.width = Word();
    gif.height = Word();
    const int packed = Byte();
    Byte();  // background
    Byte();  // aspect
    if ((packed & 0x80) != 0) gif.palette = Colors(2 << (packed & 7));
    for (;;) {
      const int block = Byte();
      if (block == 0x21) {
        const int label = Byte();
        const std::string data = SubBlocks();
        if (label == 0xF9 && data.size() == 4 && (data[0] & 1) != 0) {
          gif.transparent = static_cast<std::uint8_t>(data[3]);
        }
      } else if (block == 0x2C) {
        Take(4);  // position
        if (Word() != gif.width || Word() != gif.height) throw Error("image is not full-screen");
        if ((Byte() & 0xC0) != 0) throw Error("local colours or interlace");
        const int min_code_size = Byte();
        gif.pixels = Lzw(SubBlocks(), min_code_size);
      } else if (block == 0x3B) {
        if (at_ != bytes_.size()) throw Error("bytes after the trailer");
        return gif;
      } else {
        throw Error("unknown block " + std::to_string(block));
      }
    }
  }

 private:
  std::string_view Take(std::size_t n) {
    if (bytes_.size() - at_ < n) throw Error("truncated GIF");
    const std::string_view piece = bytes_.substr(at_, n);
    at_ += n;
    return piece;
  }
  int Byte() { return static_cast<unsigned char>(Take(1)[0]); }
  int Word() {
    const int low = Byte();
    return low | (Byte() << 8);
  }
  std::vector<GifColor> Colors(int count) {
    std::vector<GifColor> colors;
    for (int i = 0; i < count; ++i) {
      const auto r = static_cast<std::uint8_t>(Byte());
      const auto g = static_cast<std::uint8_t>(Byte());
      colors.push_back({r, g, static_cast<std::uint8_t>(Byte())});
    }
    return colors;
  }
  std::string SubBlocks() {
    std::string data;
    while (const int length = Byte()) data += Take(static_cast<std::size_t>(length));
    return data;
  }

  static std::vector<std::uint8_t> Lzw(const std::string& data, int min_code_size) {
    const int clear = 1 << min_code_size;
    const int end = clear + 1;
    std::vector<std::vector<std::uint8_t>> table;
    int width = 0;
    const auto reset = [&] {
      table.assign(static_cast<std::size_t>(clear + 2), {});
      for (int i = 0; i < clear; ++i) table[static_cast<std::size_t>(i)] = {std::uint8_t(i)};
      width = min_code_size + 1;
    };
    reset();
    std::vector<std::uint8_t> out;
    // The code before this one; kNone after a clear code. (A plain index
    // rather than std::optional, which trips GCC 12's uninitialised-use check.)
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t previous = kNone;
    std::size_t bit = 0;
    for (;;) {
      if (bit + static_cast<std::size_t>(width) > data.size() * 8) throw Error("no end code");
      int code = 0;
      for (int i = 0; i < width; ++i, ++bit) {
        code |= ((static_cast<unsigned char>(data[bit / 8]) >> (bit % 8)) & 1) << i;
      }
      if (code == clear) {
        reset();
        previous = kNone;
        continue;
      }
      if (code == end) return out;
      const auto index = static_cast<std::size_t>(code);
      std::vector<std::uint8_t> entry;
      if (index < table.size()) {
        entry = table[index];
      } else if (index == table.size() && previous != kNone) {
        entry = table[previous];
        entry.push_back(entry.front());
      } else {
        throw Error("bad code " + std::to_string(code));
      }
      out.insert(out.end(), entry.begin(), entry.end());
      if (previous != kNone && table.size() < 4096) {
        std::vector<std::uint8_t> added = table[previous];
        added.push_back(entry.front());
        table.push_back(std::move(added));
        if (table.size() == (std::size_t{1} << width) && width < 12) ++width;
      }
      previous = index;
    }
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
};

DecodedGif Decode(std::string_view bytes) { return GifReader(bytes).Read(); }

std::string_view Asset(std::string_view path) {
  const std::optional<StaticAsset> asset = FindStaticAsset(path);
  if (!asset) ADD_FAILURE() << "no asset " << path;
  return asset ? asset->bytes : std::string_view{};
}

bool Opaque(const DecodedGif& gif, int x, int y) {
  return gif.pixels.at(static_cast<std::size_t>(y * gif.width + x)) != gif.transparent;
}

TEST(WebStaticAssetsTest, ImagesAreGifsOfTheirSize) {
  struct Expected {
    std::string_view path;
    int width;
    int height;
  };
  for (const Expected& e : {Expected{"/Images/jian1.gif", 11, 11},
                            {"/Images/jian2.gif", 11, 11},
                            {"/Images/jian3.gif", 15, 11},
                            {"/Images/jian4.gif", 15, 11},
                            {"/Images/niuban.gif", 22, 22}}) {
    SCOPED_TRACE(e.path);
    const std::optional<StaticAsset> asset = FindStaticAsset(e.path);
    ASSERT_TRUE(asset);
    EXPECT_EQ(asset->content_type, "image/gif");
    ASSERT_TRUE(asset->bytes.starts_with("GIF89a"));
    const DecodedGif gif = Decode(asset->bytes);
    EXPECT_EQ(gif.width, e.width);
    EXPECT_EQ(gif.height, e.height);
    ASSERT_EQ(gif.pixels.size(), static_cast<std::size_t>(e.width * e.height));
    ASSERT_TRUE(gif.transparent);
  }
}

// The arrows point the way their links go: the tip of a left arrow is its
// leftmost drawn pixel on the middle row, and each right arrow is its left
// twin mirrored.
TEST(WebStaticAssetsTest, ArrowsPointTheirWay) {
  const DecodedGif left = Decode(Asset("/Images/jian1.gif"));
  const DecodedGif right = Decode(Asset("/Images/jian2.gif"));
  const DecodedGif far_left = Decode(Asset("/Images/jian3.gif"));
  const DecodedGif far_right = Decode(Asset("/Images/jian4.gif"));
  for (const auto& [a, b] : {std::pair{&left, &right}, std::pair{&far_left, &far_right}}) {
    ASSERT_EQ(a->width, b->width);
    for (int y = 0; y < a->height; ++y) {
      for (int x = 0; x < a->width; ++x) {
        EXPECT_EQ(a->pixels[static_cast<std::size_t>(y * a->width + x)],
                  b->pixels[static_cast<std::size_t>(y * a->width + a->width - 1 - x)])
            << x << "," << y;
      }
    }
  }
  const int middle = left.height / 2;
  EXPECT_TRUE(Opaque(left, 2, middle));
  EXPECT_FALSE(Opaque(left, 2, 0));
  EXPECT_TRUE(Opaque(left, 7, 0));
  EXPECT_FALSE(Opaque(right, 2, middle));
  EXPECT_TRUE(Opaque(right, left.width - 3, middle));
  // The double arrow has two separate strokes on its middle row.
  int strokes = 0;
  for (int x = 0; x < far_left.width; ++x) {
    if (Opaque(far_left, x, middle) && (x == 0 || !Opaque(far_left, x - 1, middle))) ++strokes;
  }
  EXPECT_EQ(strokes, 2);
}

// The separator lets the tab's colour show below its slope and covers the
// corner above it with white.
TEST(WebStaticAssetsTest, TabSeparatorSlopes) {
  const DecodedGif gif = Decode(Asset("/Images/niuban.gif"));
  EXPECT_FALSE(Opaque(gif, 0, 21));
  EXPECT_TRUE(Opaque(gif, 21, 0));
  const GifColor corner = gif.palette.at(gif.pixels.at(21));
  EXPECT_EQ(corner.red + corner.green + corner.blue, 3 * 255);
  EXPECT_TRUE(Opaque(gif, 10, 10));
}

TEST(WebStaticAssetsTest, OnlyKnownPathsAreAssets) {
  for (const std::string_view path :
       {"/Images/jian5.gif", "/images/jian1.gif", "/Images/jian1.gif/", "/Images/",
        "/Images/../static/ostrand.css", "/static/ostrand.css?x", "/static/", "",
        "/Images/jian1.GIF"}) {
    EXPECT_FALSE(FindStaticAsset(path)) << path;
  }
  // The same bytes on every call: the views stay valid.
  EXPECT_EQ(Asset("/Images/jian1.gif").data(), Asset("/Images/jian1.gif").data());
}

TEST(WebStaticAssetsTest, FaviconIsAnIconWithATransparentEdge) {
  const std::optional<StaticAsset> icon = FindStaticAsset("/favicon.ico");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->content_type, "image/x-icon");
  const std::string_view bytes = icon->bytes;
  const auto word = [&](std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
  };
  ASSERT_EQ(bytes.size(), 6u + 16 + 40 + 16 * 16 * 4 + 16 * 4);
  EXPECT_EQ(word(2), 1) << "an icon";
  EXPECT_EQ(word(4), 1) << "one image";
  EXPECT_EQ(bytes[6], 16);
  EXPECT_EQ(word(12), 32) << "bits per pixel";
  EXPECT_EQ(word(18), 22) << "the bitmap follows the directory";
  EXPECT_EQ(word(22 + 8), 32) << "the bitmap's height counts the mask too";
  // Rows are stored bottom up: the top row comes last.
  const auto pixel = [&](int row, int col) { return 22 + 40 + ((15 - row) * 16 + col) * 4; };
  EXPECT_EQ(static_cast<unsigned char>(bytes[pixel(0, 0) + 3]), 0) << "the corner is clear";
  EXPECT_EQ(bytes.substr(pixel(1, 1), 4), std::string_view("\x86\x4f\x2d\xff", 4))
      << "the border is opaque blue";
  const std::size_t mask = 22 + 40 + 16 * 16 * 4;
  EXPECT_EQ(bytes.substr(mask + 15 * 4, 2), "\xff\xff") << "the top row is masked out";
  EXPECT_EQ(static_cast<unsigned char>(bytes[mask + 14 * 4]), 0x80) << "row 1: only its edge";
}

// The host script is served beside the stylesheet, with the classes and
// attributes it relies on.
TEST(WebStaticAssetsTest, HostScriptIsServed) {
  const std::optional<StaticAsset> script = FindStaticAsset("/static/ostrand.js");
  ASSERT_TRUE(script);
  EXPECT_EQ(script->content_type, "text/javascript; charset=utf-8");
  for (const std::string_view part : {"data-edit-days", "data-jian", "sr-only", "ul.legend"}) {
    EXPECT_NE(script->bytes.find(part), std::string_view::npos) << part;
  }
}

// Every class the component writes for the host to style, and the wrapper
// that lets the leader tables scroll sideways.
TEST(WebStaticAssetsTest, StylesheetDefinesTheComponentClasses) {
  const std::optional<StaticAsset> css = FindStaticAsset("/static/ostrand.css");
  ASSERT_TRUE(css);
  EXPECT_EQ(css->content_type, "text/css; charset=utf-8");
  const std::string_view text = css->bytes;
  const auto defines = [&](std::string_view name) {
    const std::string selector = "." + std::string(name);
    for (std::size_t at = text.find(selector); at != std::string_view::npos;
         at = text.find(selector, at + 1)) {
      const char next = at + selector.size() < text.size() ? text[at + selector.size()] : ' ';
      const bool name_ends =
          !(std::isalnum(static_cast<unsigned char>(next)) || next == '-' || next == '_');
      if (name_ends) return true;
    }
    return false;
  };
  for (const std::string_view name :
       {"schh", "td1", "td2", "sch", "sch0", "sch1", "sch2", "sch3", "sch4", "Office", "Beijing",
        "Outside", "Aboad", "wide", "legend", "site-nav", "signin", "editor", "skip", "sr-only",
        "lang-switch"}) {
    EXPECT_TRUE(defines(name)) << name;
  }
  EXPECT_NE(text.find("overflow-x: auto"), std::string_view::npos);
  int depth = 0;
  for (const char c : text) {
    depth += c == '{' ? 1 : c == '}' ? -1 : 0;
    ASSERT_GE(depth, 0);
  }
  EXPECT_EQ(depth, 0);
}

GifImage Pattern(int width, int height, int colors) {
  GifImage image;
  image.width = width;
  image.height = height;
  for (int i = 0; i < colors; ++i) {
    image.palette.push_back({std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
  }
  for (int i = 0; i < width * height; ++i) {
    image.pixels.push_back(static_cast<std::uint8_t>((i * 31 + i / 7) % colors));
  }
  return image;
}

// Palettes from 2 to 256 colours (code widths 3 to 9), a single pixel, and
// images whose data spans many 255-byte sub-blocks all read back as drawn.
TEST(WebStaticAssetsTest, EncoderRoundTrips) {
  struct Case {
    int width, height, colors;
  };
  for (const Case c : {Case{1, 1, 1}, Case{3, 2, 2}, Case{5, 5, 3}, Case{16, 9, 5},
                       Case{40, 30, 16}, Case{33, 17, 17}, Case{100, 60, 256}, Case{7, 300, 129}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "/" +
                 std::to_string(c.colors));
    GifImage image = Pattern(c.width, c.height, c.colors);
    image.transparent = static_cast<std::uint8_t>(c.colors - 1);
    const DecodedGif gif = Decode(EncodeGif(image));
    EXPECT_EQ(gif.pixels, image.pixels);
    EXPECT_EQ(gif.transparent, image.transparent);
    ASSERT_GE(gif.palette.size(), image.palette.size());
    for (std::size_t i = 0; i < image.palette.size(); ++i) {
      EXPECT_EQ(gif.palette[i].red, image.palette[i].red);
      EXPECT_EQ(gif.palette[i].green, image.palette[i].green);
      EXPECT_EQ(gif.palette[i].blue, image.palette[i].blue);
    }
  }
}

TEST(WebStaticAssetsTest, EncoderRejectsInconsistentImages) {
  GifImage wrong_count = Pattern(4, 4, 2);
  wrong_count.pixels.pop_back();
  GifImage outside_palette = Pattern(4, 4, 2);
  outside_palette.pixels[5] = 2;
  GifImage bad_transparent = Pattern(4, 4, 2);
  bad_transparent.transparent = 2;
  GifImage empty_palette = Pattern(2, 2, 1);
  empty_palette.palette.clear();
  GifImage no_size = Pattern(0, 3, 2);
  for (const GifImage* image :
       {&wrong_count, &outside_palette, &bad_transparent, &empty_palette, &no_size}) {
    EXPECT_THROW(EncodeGif(*image), Error);
  }
}

}  // namespace
}  // namespace ostrand::web
