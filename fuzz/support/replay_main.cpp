// Drives a fuzz target without a fuzzing engine (the normal gcc builds): runs
// every input of the corpus files and folders given, then, with -runs=N,
// deterministic mutations of them (seeded by -seed=S) until N inputs have
// run in all. It takes the same command line as a libFuzzer build, so the
// tests call either one alike; libFuzzer options it does not know are
// ignored.
#include "fuzz_target.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(__GNUC__)
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);
#endif

namespace {

using Input = std::vector<std::uint8_t>;

// xorshift64*: a small generator whose sequence depends on the seed alone.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed != 0 ? seed : 0x9E3779B97F4A7C15ull) {}
    std::uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }

private:
    std::uint64_t state_;
};

bool read_file(const std::filesystem::path &path, Input &out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// One to four random edits: bit flips, byte changes, insertions, deletions,
// repeated runs, and pieces of another input spliced in.
Input mutate(const Input &base, const std::vector<Input> &corpus, Random &random, std::size_t max_len) {
    Input out = base;
    const std::size_t edits = 1 + random.below(4);
    for (std::size_t e = 0; e < edits; ++e) {
        const std::size_t at = random.below(out.size() + 1);
        switch (random.below(6)) {
        case 0:
            if (!out.empty()) {
                out[random.below(out.size())] ^= static_cast<std::uint8_t>(1u << random.below(8));
            }
            break;
        case 1:
            if (!out.empty()) {
                out[random.below(out.size())] = static_cast<std::uint8_t>(random.next());
            }
            break;
        case 2: out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random.next())); break;
        case 3:
            if (at < out.size()) {
                const std::size_t n = 1 + random.below(std::min<std::size_t>(8, out.size() - at));
                out.erase(out.begin() + static_cast<std::ptrdiff_t>(at), out.begin() + static_cast<std::ptrdiff_t>(at + n));
            }
            break;
        case 4:
            if (at < out.size()) {
                const Input piece(out.begin() + static_cast<std::ptrdiff_t>(at),
                                  out.begin() + static_cast<std::ptrdiff_t>(at + 1 + random.below(out.size() - at)));
                out.insert(out.begin() + static_cast<std::ptrdiff_t>(random.below(out.size() + 1)), piece.begin(), piece.end());
            }
            break;
        default: {
            const Input &other = corpus[random.below(corpus.size())];
            if (!other.empty()) {
                const std::size_t from = random.below(other.size());
                const std::size_t n = 1 + random.below(other.size() - from);
                out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), other.begin() + static_cast<std::ptrdiff_t>(from),
                           other.begin() + static_cast<std::ptrdiff_t>(from + n));
            }
            break;
        }
        }
    }
    if (out.size() > max_len) {
        out.resize(max_len);
    }
    return out;
}

// The value of a "-name=value" option, if `arg` is that option.
bool option(const std::string &arg, const char *name, long long &value) {
    const std::string prefix = std::string("-") + name + "=";
    if (arg.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    value = std::atoll(arg.c_str() + prefix.size());
    return true;
}

}  // namespace

int main(int argc, char **argv) {
#if defined(__GNUC__)
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
#endif
    long long runs = -1;
    long long seed = 1;
    long long max_len = 4096;
    std::vector<Input> corpus;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long long value = 0;
        if (option(arg, "runs", value)) {
            runs = value;
        } else if (option(arg, "seed", value)) {
            seed = value;
        } else if (option(arg, "max_len", value)) {
            max_len = value;
        } else if (!arg.empty() && arg[0] == '-') {
            continue;  // a libFuzzer option without meaning here
        } else if (std::filesystem::is_directory(arg)) {
            std::vector<std::filesystem::path> files;
            for (const auto &entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
            for (const auto &file : files) {
                Input input;
                if (read_file(file, input)) {
                    corpus.push_back(std::move(input));
                }
            }
        } else {
            Input input;
            if (!read_file(arg, input)) {
                std::fprintf(stderr, "cannot read %s\n", arg.c_str());
                return 2;
            }
            corpus.push_back(std::move(input));
        }
    }
    if (corpus.empty()) {
        corpus.emplace_back();  // the empty input
    }
    long long done = 0;
    for (const Input &input : corpus) {
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++done;
    }
    Random random(static_cast<std::uint64_t>(seed));
    const std::size_t limit = max_len > 0 ? static_cast<std::size_t>(max_len) : 4096;
    for (; done < runs; ++done) {
        const Input input = mutate(corpus[random.below(corpus.size())], corpus, random, limit);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%s: %zu corpus inputs and %lld mutated inputs ran, no check failed\n", argv[0], corpus.size(),
                done - static_cast<long long>(corpus.size()));
    return 0;
}
