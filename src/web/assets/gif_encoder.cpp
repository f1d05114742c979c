#include "web/assets/gif_encoder.h"

#include <algorithm>
#include <string>

#include "core/error.h"

namespace ostrand::web {
namespace {

void AppendByte(std::string& out, unsigned value) { out += static_cast<char>(value & 0xFFu); }

void AppendWord(std::string& out, unsigned value) {
  AppendByte(out, value);
  AppendByte(out, value >> 8);
}

// Packs variable-width codes least significant bit first, as GIF wants.
class CodeWriter {
 public:
  void Write(unsigned code, int width) {
    buffer_ |= code << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      AppendByte(bytes_, buffer_);
      buffer_ >>= 8;
      bits_ -= 8;
    }
  }

  // Flushes the last partial byte and returns all bytes written.
  std::string Finish() {
    if (bits_ > 0) AppendByte(bytes_, buffer_);
    bits_ = 0;
    buffer_ = 0;
    return std::move(bytes_);
  }

 private:
  std::string bytes_;
  unsigned buffer_ = 0;
  int bits_ = 0;
};

// The number of bits needed to index `colors` palette entries (at least 1,
// as the colour table holds at least two entries).
int TableBits(std::size_t colors) {
  int bits = 1;
  while ((std::size_t{1} << bits) < colors) ++bits;
  return bits;
}

void Check(const GifImage& image) {
  const auto in_range = [](int n) { return n >= 1 && n <= 0xFFFF; };
  if (!in_range(image.width) || !in_range(image.height)) {
    throw Error("cannot encode a GIF of " + std::to_string(image.width) + "x" +
                std::to_string(image.height) + " pixels");
  }
  if (image.palette.empty() || image.palette.size() > 256) {
    throw Error("cannot encode a GIF with " + std::to_string(image.palette.size()) + " colours");
  }
  const std::size_t expected =
      static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  if (image.pixels.size() != expected) {
    throw Error("a " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                " GIF needs " + std::to_string(expected) + " pixels, not " +
                std::to_string(image.pixels.size()));
  }
  const auto outside = [&](std::uint8_t index) { return index >= image.palette.size(); };
  if (const auto bad = std::find_if(image.pixels.begin(), image.pixels.end(), outside);
      bad != image.pixels.end()) {
    throw Error("GIF pixel " + std::to_string(bad - image.pixels.begin()) + " uses colour " +
                std::to_string(*bad) + " of a palette of " + std::to_string(image.palette.size()));
  }
  if (image.transparent && outside(*image.transparent)) {
    throw Error("transparent colour " + std::to_string(*image.transparent) +
                " lies outside a palette of " + std::to_string(image.palette.size()));
  }
}

// LZW image data: every pixel is sent as its own literal code. A clear code
// goes out before the decoder's dictionary would grow to the next code width,
// so the width never changes and no dictionary has to be kept here.
std::string EncodePixels(const std::vector<std::uint8_t>& pixels, int min_code_size) {
  const unsigned clear = 1u << min_code_size;
  const unsigned end = clear + 1;
  const int width = min_code_size + 1;
  // After a clear the decoder's next free code is clear + 2 and each literal
  // but the first adds one; the width would grow once it reached 2 * clear.
  const std::size_t literals_per_clear = clear - 2;

  CodeWriter writer;
  std::size_t run = literals_per_clear;
  for (const std::uint8_t pixel : pixels) {
    if (run == literals_per_clear) {
      writer.Write(clear, width);
      run = 0;
    }
    writer.Write(pixel, width);
    ++run;
  }
  writer.Write(end, width);
  return writer.Finish();
}

}  // namespace

std::string EncodeGif(const GifImage& image) {
  Check(image);
  const int table_bits = TableBits(image.palette.size());
  const std::size_t table_size = std::size_t{1} << table_bits;
  const int min_code_size = std::max(2, table_bits);
  const std::string data = EncodePixels(image.pixels, min_code_size);

  std::string out;
  out.reserve(64 + 3 * table_size + data.size() + data.size() / 255);
  out += "GIF89a";
  // Logical screen: size, a global colour table of 2^table_bits entries.
  AppendWord(out, static_cast<unsigned>(image.width));
  AppendWord(out, static_cast<unsigned>(image.height));
  const unsigned size_field = static_cast<unsigned>(table_bits - 1);
  AppendByte(out, 0x80u | (size_field << 4) | size_field);
  AppendByte(out, image.transparent.value_or(0));  // background colour
  AppendByte(out, 0);                              // no aspect ratio
  for (std::size_t i = 0; i < table_size; ++i) {
    const GifColor color = i < image.palette.size() ? image.palette[i] : GifColor{0, 0, 0};
    AppendByte(out, color.red);
    AppendByte(out, color.green);
    AppendByte(out, color.blue);
  }
  if (image.transparent) {
    // Graphic control extension: no delay, the transparent index.
    out += "\x21\xF9\x04";
    AppendByte(out, 0x01);
    AppendWord(out, 0);
    AppendByte(out, *image.transparent);
    AppendByte(out, 0);
  }
  // One image covering the whole screen, not interlaced, no local colours.
  AppendByte(out, 0x2C);
  AppendWord(out, 0);
  AppendWord(out, 0);
  AppendWord(out, static_cast<unsigned>(image.width));
  AppendWord(out, static_cast<unsigned>(image.height));
  AppendByte(out, 0);
  AppendByte(out, static_cast<unsigned>(min_code_size));
  for (std::size_t at = 0; at < data.size(); at += 255) {
    const std::size_t length = std::min<std::size_t>(255, data.size() - at);
    AppendByte(out, static_cast<unsigned>(length));
    out.append(data, at, length);
  }
  AppendByte(out, 0);     // end of the image data
  AppendByte(out, 0x3B);  // trailer
  return out;
}

}  // namespace ostrand::web
