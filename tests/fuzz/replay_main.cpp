// Runs a fuzz target over every file of the given directories (or files), without
// libFuzzer, so that the saved corpus and past findings run as ordinary tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!std::filesystem::is_directory(argv[i]))
      inputs.push_back(argv[i]);
    else
      for (const auto& e : std::filesystem::directory_iterator(argv[i])) inputs.push_back(e);
  }
  int runs = 0;
  for (const auto& p : inputs) {
    if (!std::filesystem::is_regular_file(p)) continue;
    std::ifstream in(p, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++runs;
  }
  std::printf("replayed %d inputs\n", runs);
  return 0;
}
