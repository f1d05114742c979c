#include "web/http/content_encoder.h"

#include <brotli/encode.h>
#include <zlib.h>
#include <zstd.h>

#include <array>
#include <cstdint>

#include "core/error.h"

namespace ostrand::web::http {
namespace {

// What each call hands the library at most, and the buffer its output
// goes through on the way to the caller's string.
constexpr std::size_t kSlice = 64 * 1024;
constexpr std::size_t kOutputBuffer = 32 * 1024;

struct ZstdFree {
  void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};
struct BrotliFree {
  void operator()(BrotliEncoderState* state) const { BrotliEncoderDestroyInstance(state); }
};

Error Failure(ContentCoding coding, std::string_view what) {
  return Error(std::string(CodingName(coding)) + " encoder: " + std::string(what));
}

}  // namespace

struct ContentEncoder::State {
  ContentCoding coding;
  bool finished = false;
  std::unique_ptr<ZSTD_CCtx, ZstdFree> zstd;
  std::unique_ptr<BrotliEncoderState, BrotliFree> brotli;
  z_stream gzip{};
  bool gzip_open = false;
  std::array<unsigned char, kOutputBuffer> buffer{};

  explicit State(ContentCoding c) : coding(c) {}
  ~State() {
    if (gzip_open) deflateEnd(&gzip);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // Feeds `text` (all of it) to the library; `last` ends the stream.
  void Run(std::string_view text, bool last, std::string& out) {
    switch (coding) {
      case ContentCoding::kZstd:
        return RunZstd(text, last, out);
      case ContentCoding::kBrotli:
        return RunBrotli(text, last, out);
      case ContentCoding::kGzip:
        return RunGzip(text, last, out);
      case ContentCoding::kIdentity:
        break;
    }
    throw Failure(coding, "no encoder for identity");
  }

  void RunZstd(std::string_view text, bool last, std::string& out) {
    ZSTD_inBuffer in{text.data(), text.size(), 0};
    const ZSTD_EndDirective mode = last ? ZSTD_e_end : ZSTD_e_continue;
    for (;;) {
      ZSTD_outBuffer chunk{buffer.data(), buffer.size(), 0};
      const std::size_t left = ZSTD_compressStream2(zstd.get(), &chunk, &in, mode);
      if (ZSTD_isError(left) != 0) throw Failure(coding, ZSTD_getErrorName(left));
      out.append(reinterpret_cast<const char*>(buffer.data()), chunk.pos);
      // Done when the input is taken and, at the end, the frame is flushed.
      if (last ? left == 0 : in.pos == in.size) return;
    }
  }

  void RunBrotli(std::string_view text, bool last, std::string& out) {
    std::size_t in_left = text.size();
    const auto* in = reinterpret_cast<const std::uint8_t*>(text.data());
    const BrotliEncoderOperation operation = last ? BROTLI_OPERATION_FINISH : BROTLI_OPERATION_PROCESS;
    for (;;) {
      std::size_t out_left = buffer.size();
      std::uint8_t* next = buffer.data();
      if (BrotliEncoderCompressStream(brotli.get(), operation, &in_left, &in, &out_left, &next,
                                      nullptr) == BROTLI_FALSE) {
        throw Failure(coding, "stream failed");
      }
      out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - out_left);
      const bool pending = BrotliEncoderHasMoreOutput(brotli.get()) == BROTLI_TRUE;
      if (in_left == 0 && !pending && (!last || BrotliEncoderIsFinished(brotli.get()) == BROTLI_TRUE)) {
        return;
      }
    }
  }

  void RunGzip(std::string_view text, bool last, std::string& out) {
    // zlib's counts are 32-bit: the slices of Add stay far below.
    gzip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    gzip.avail_in = static_cast<uInt>(text.size());
    for (;;) {
      gzip.next_out = buffer.data();
      gzip.avail_out = static_cast<uInt>(buffer.size());
      const int status = deflate(&gzip, last ? Z_FINISH : Z_NO_FLUSH);
      if (status == Z_STREAM_ERROR) throw Failure(coding, "stream failed");
      out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - gzip.avail_out);
      if (last ? status == Z_STREAM_END : (gzip.avail_in == 0 && gzip.avail_out != 0)) return;
    }
  }
};

ContentEncoder::ContentEncoder(ContentCoding coding, Effort effort, std::size_t size_hint)
    : state_(std::make_unique<State>(coding)) {
  const bool fast = effort == Effort::kAnswer;
  switch (coding) {
    case ContentCoding::kZstd: {
      state_->zstd.reset(ZSTD_createCCtx());
      if (!state_->zstd) throw Failure(coding, "out of memory");
      ZSTD_CCtx_setParameter(state_->zstd.get(), ZSTD_c_compressionLevel, fast ? 3 : 19);
      if (size_hint != 0) ZSTD_CCtx_setPledgedSrcSize(state_->zstd.get(), size_hint);
      break;
    }
    case ContentCoding::kBrotli: {
      state_->brotli.reset(BrotliEncoderCreateInstance(nullptr, nullptr, nullptr));
      if (!state_->brotli) throw Failure(coding, "out of memory");
      BrotliEncoderState* const brotli = state_->brotli.get();
      BrotliEncoderSetParameter(brotli, BROTLI_PARAM_QUALITY, fast ? 5 : BROTLI_MAX_QUALITY);
      BrotliEncoderSetParameter(brotli, BROTLI_PARAM_MODE, BROTLI_MODE_TEXT);
      if (size_hint != 0 && size_hint <= (1u << 30)) {
        BrotliEncoderSetParameter(brotli, BROTLI_PARAM_SIZE_HINT, static_cast<std::uint32_t>(size_hint));
      }
      break;
    }
    case ContentCoding::kGzip: {
      // 15 + 16: the gzip wrapper around deflate with a 32 KB window.
      if (deflateInit2(&state_->gzip, fast ? 6 : 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
          Z_OK) {
        throw Failure(coding, "out of memory");
      }
      state_->gzip_open = true;
      break;
    }
    case ContentCoding::kIdentity:
      throw Failure(coding, "no encoder for identity");
  }
}

ContentEncoder::~ContentEncoder() = default;

void ContentEncoder::Add(std::string_view text, std::string& out) {
  if (state_->finished) throw Failure(state_->coding, "text added after the end");
  while (!text.empty()) {
    const std::string_view slice = text.substr(0, kSlice);
    state_->Run(slice, false, out);
    text.remove_prefix(slice.size());
  }
}

void ContentEncoder::Finish(std::string& out) {
  if (state_->finished) throw Failure(state_->coding, "ended twice");
  state_->finished = true;
  state_->Run({}, true, out);
}

std::string EncodeBody(ContentCoding coding, Effort effort, std::string_view body) {
  ContentEncoder encoder(coding, effort, body.size());
  std::string out;
  // Text of the pages shrinks to a fifth or less; growth beyond is amortised.
  out.reserve(body.size() / 5 + 64);
  encoder.Add(body, out);
  encoder.Finish(out);
  return out;
}

}  // namespace ostrand::web::http
