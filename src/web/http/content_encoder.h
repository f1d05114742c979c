// The streaming encoders of the content codings (accept_encoding.h): zstd
// (libzstd), brotli (libbrotlienc) and gzip (zlib). Text goes in piece by
// piece and the encoded bytes are appended to the caller's string as they
// come, so an encoder holds only its coding's window, never a second copy
// of what it was given.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "web/http/accept_encoding.h"

namespace ostrand::web::http {

// How hard an encoder works.
enum class Effort {
  kAnswer,  // an answer being sent: fast (zstd 3, brotli 5, gzip 6)
  kStatic,  // bytes encoded once and sent many times: smallest (zstd 19, brotli 11, gzip 9)
};

class ContentEncoder {
 public:
  // An encoder of `coding` (not kIdentity) for about `size_hint` bytes of
  // input (0: unknown), which sizes its window and tables for small
  // inputs. Throws Error when the library cannot set up (out of memory) or
  // the coding is kIdentity.
  ContentEncoder(ContentCoding coding, Effort effort, std::size_t size_hint);
  ~ContentEncoder();
  ContentEncoder(const ContentEncoder&) = delete;
  ContentEncoder& operator=(const ContentEncoder&) = delete;

  // Encodes `text` and appends to `out` what the coding has ready. Throws
  // Error when the library fails, or after Finish.
  void Add(std::string_view text, std::string& out);
  // Ends the stream: appends the rest, trailer included. Throws Error when
  // the library fails or Finish already ran.
  void Finish(std::string& out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// `body` encoded whole with `coding` (not kIdentity), fed to the encoder in
// slices. Throws what ContentEncoder throws.
std::string EncodeBody(ContentCoding coding, Effort effort, std::string_view body);

}  // namespace ostrand::web::http
