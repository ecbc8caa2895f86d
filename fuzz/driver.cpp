// Drives a harness without libFuzzer, for compilers and machines that lack
// it: every seed, then a fixed number of inputs made from the seeds by
// deterministic mutation with the tokens of a dictionary.
//   drive_<harness> RUNS DICTIONARY SEED_DIRECTORY...

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

constexpr std::size_t kMaxLength = 4096;

void run(const std::string& input) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The quoted tokens of a libFuzzer dictionary, with \\, \" and \xNN resolved.
std::vector<std::string> read_dictionary(const std::filesystem::path& path) {
  std::vector<std::string> tokens;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const std::size_t open = line.find('"');
    const std::size_t close = line.rfind('"');
    if (line.starts_with('#') || open == std::string::npos || close <= open) continue;
    std::string token;
    for (std::size_t i = open + 1; i < close; ++i) {
      if (line[i] != '\\') {
        token += line[i];
      } else if (line[i + 1] == 'x') {
        token += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
        i += 3;
      } else {
        token += line[++i];
      }
    }
    tokens.push_back(token);
  }
  return tokens;
}

class Mutator {
 public:
  Mutator(std::vector<std::string> pool, std::vector<std::string> tokens)
      : pool_(std::move(pool)), tokens_(std::move(tokens)) {}

  std::string next() {
    std::string input = pick(pool_);
    const std::size_t steps = 1 + below(8);
    for (std::size_t step = 0; step < steps; ++step) mutate(input);
    if (input.size() > kMaxLength) input.resize(kMaxLength);
    // Inputs that grew are kept to grow further, as a fuzzer's corpus would.
    if (below(16) == 0) pool_.push_back(input);
    return input;
  }

 private:
  std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
  const std::string& pick(const std::vector<std::string>& from) { return from[below(from.size())]; }

  void mutate(std::string& input) {
    const std::size_t at = below(input.size() + 1);
    switch (below(6)) {
      case 0:
        input.insert(at, pick(tokens_));
        break;
      case 1:
        input.insert(at, 1, static_cast<char>(below(256)));
        break;
      case 2:
        if (at < input.size()) input[at] = static_cast<char>(below(256));
        break;
      case 3:
        input.erase(at, below(8));
        break;
      case 4:
        input.insert(at, input.substr(below(input.size() + 1), below(32)));
        break;
      default:
        input.insert(at, pick(pool_).substr(0, below(64)));
        break;
    }
  }

  std::vector<std::string> pool_;
  std::vector<std::string> tokens_;
  std::mt19937_64 random_{20261210};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s RUNS DICTIONARY SEED_DIRECTORY...\n", argv[0]);
    return 2;
  }
  const auto runs = std::strtoull(argv[1], nullptr, 10);
  std::vector<std::string> seeds{""};
  for (int i = 3; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) seeds.push_back(read_file(entry.path()));
  }
  std::sort(seeds.begin(), seeds.end());  // the same order on every file system
  for (const std::string& seed : seeds) run(seed);

  Mutator mutator(seeds, read_dictionary(argv[2]));
  for (unsigned long long i = 0; i < runs; ++i) run(mutator.next());
  std::printf("%s: %zu seeds and %llu generated inputs, every property held\n", argv[0], seeds.size(), runs);
  return 0;
}
