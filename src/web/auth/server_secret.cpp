#include "web/auth/server_secret.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/error.h"
#include "core/hex.h"
#include "core/sodium_start.h"

namespace ostrand::web {
namespace {

// Writes a new secret file; returns false when another process made it first.
bool CreateSecretFile(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) throw Error("cannot create directory '" + parent.string() + "': " + ec.message());
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == EEXIST) return false;
    throw Error("cannot create secret file '" + path + "': " + std::strerror(errno));
  }
  std::array<unsigned char, 32> random{};
  randombytes_buf(random.data(), random.size());
  std::string text = HexText(random, HexCase::kLower);
  text += '\n';
  const ssize_t written = ::write(fd, text.data(), text.size());
  const bool closed = ::close(fd) == 0;
  if (written != static_cast<ssize_t>(text.size()) || !closed) {
    std::filesystem::remove(path);
    throw Error("cannot write secret file '" + path + "'");
  }
  return true;
}

}  // namespace

SecretKey LoadSecret(const std::string& path, bool create) {
  StartSodium();
  std::error_code ec;
  if (create && !std::filesystem::exists(path, ec)) CreateSecretFile(path);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot read secret file '" + path + "'");
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (content.size() < 32) {
    throw Error("secret file '" + path + "' holds fewer than 32 bytes");
  }
  SecretKey key{};
  crypto_generichash(key.data(), key.size(), reinterpret_cast<const unsigned char*>(content.data()),
                     content.size(), nullptr, 0);
  sodium_memzero(content.data(), content.size());
  return key;
}

SecretKey RandomSecret() {
  StartSodium();
  SecretKey key{};
  crypto_auth_keygen(key.data());
  return key;
}

}  // namespace ostrand::web
