#pragma once
// Random corruption of a stored layout for the "never crash on bad text" tests: each run
// erases, inserts, replaces or truncates a few characters of the original text, drawing from
// characters that matter to the stored form.
//
// A fixed seed and a few seconds by default; TARDIVOX_FUZZ_SEED and TARDIVOX_FUZZ_SECONDS give
// longer, different runs (then unbounded in count, bounded by time).

#include <chrono>
#include <climits>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>

namespace tardivox::testing {

inline std::string CorruptText(std::string text, std::mt19937& random) {
  static const char kAlphabet[] =
      "()[]'.=# \n_-0123456789abcdefTSPinFormSinksnilTrueFalseobjectendvtFloatfsBoldbi";
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int e = 0; e < edits && !text.empty(); ++e) {
    const size_t pos = random() % text.size();
    const char c = kAlphabet[random() % (sizeof kAlphabet - 1)];
    switch (random() % 4) {
      case 0:
        text.erase(pos, 1 + random() % 8);
        break;
      case 1:
        text.insert(pos, 1, c);
        break;
      case 2:
        text[pos] = c;
        break;
      default:
        text.resize(pos);
        break;
    }
  }
  return text;
}

// Runs `read` on corrupted copies of `original` until the time or run budget is spent;
// returns the number of runs. `read` says whether the text was refused.
struct TCorruptionRuns {
  int runs = 0;
  int refused = 0;
};

inline TCorruptionRuns RunCorrupted(const std::string& original,
                                    const std::function<bool(const std::string&)>& read,
                                    int defaultRuns = 3000) {
  const char* seedText = std::getenv("TARDIVOX_FUZZ_SEED");
  const char* secondsText = std::getenv("TARDIVOX_FUZZ_SECONDS");
  const unsigned seed =
      seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20261209u;
  const long seconds = secondsText ? std::max(1L, std::strtol(secondsText, nullptr, 10)) : 3L;
  const int maxRuns = secondsText ? INT_MAX : defaultRuns;
  std::mt19937 random(seed);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  TCorruptionRuns result;
  while (result.runs < maxRuns && std::chrono::steady_clock::now() < deadline) {
    if (read(CorruptText(original, random))) ++result.refused;
    ++result.runs;
  }
  return result;
}

}  // namespace tardivox::testing
