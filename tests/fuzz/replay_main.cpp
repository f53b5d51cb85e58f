// Runs files through LLVMFuzzerTestOneInput without libFuzzer: every file
// named on the command line, and every file below each directory named.
// Exit status 0 when all of them ran (a crash ends the process anyway).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (fs::is_directory(argv[i], error)) {
      for (const auto& entry : fs::recursive_directory_iterator(argv[i]))
        if (entry.is_regular_file()) files.push_back(entry.path());
    } else if (fs::is_regular_file(argv[i], error)) {
      files.push_back(argv[i]);
    } else {
      std::fprintf(stderr, "replay: %s: not a file or directory\n", argv[i]);
      return 1;
    }
  }
  std::sort(files.begin(), files.end());  // a stable order makes a failure easy to repeat
  for (const fs::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "replay: %s: cannot read\n", path.string().c_str());
      return 1;
    }
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replay: %zu files\n", files.size());
  return 0;
}
