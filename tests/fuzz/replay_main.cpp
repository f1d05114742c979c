// A main for a fuzz target without libFuzzer: runs every file named on the
// command line, and every file in the directories named, through
// LLVMFuzzerTestOneInput once. The tests replay each target's corpus with it
// in the ordinary and the sanitizer builds, so that every input that once
// crashed keeps being checked.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void Run(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.push_back(path);
    }
    for (const std::filesystem::path& file : files) {
      Run(file);
      ++count;
    }
  }
  std::printf("%zu inputs ran\n", count);
  // No input at all means a wrong path, not a passing corpus.
  return count == 0 ? 1 : 0;
}
