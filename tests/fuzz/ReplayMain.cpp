// Runs a fuzz target over files and directories of inputs, for compilers
// without libFuzzer: the starting corpora become regression tests.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void RunOne(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::filesystem::path> paths;
    if (std::filesystem::is_directory(argv[i])) {
      for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
        if (entry.is_regular_file()) paths.push_back(entry.path());
      std::sort(paths.begin(), paths.end());
    } else {
      paths.emplace_back(argv[i]);
    }
    for (const auto& path : paths) {
      RunOne(path);
      ++inputs;
    }
  }
  std::printf("%d inputs ran without a finding\n", inputs);
  return inputs > 0 ? 0 : 1;
}
