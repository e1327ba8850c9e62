// Runs a fuzz target's entry point once over every file of the directories (or files) given,
// so that the seed corpora and the inputs of past findings are checked by every build, the
// sanitizer build included, without libFuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t inputs = 0;
  for (int arg = 1; arg < argc; ++arg) {
    std::filesystem::path root(argv[arg]);
    std::error_code error;
    if (std::filesystem::is_directory(root, error)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      for (const auto& file : files) {
        if (!RunFile(file)) return 1;
        ++inputs;
      }
    } else {
      if (!RunFile(root)) return 1;
      ++inputs;
    }
  }
  if (inputs == 0) {
    std::fprintf(stderr, "no inputs\n");
    return 1;
  }
  std::printf("%zu inputs ran\n", inputs);
  return 0;
}
