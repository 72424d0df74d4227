// Replays a fuzz target's corpus and a few thousand deterministic mutations of
// it, so that every build (not only the clang fuzzing build) exercises the
// parsers with hostile input. Usage: TARGET [FILE|DIR]... [--mutations N]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<uint8_t> readAll(const std::filesystem::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void runOne(const std::vector<uint8_t> &input)
{
    // An empty vector's data() may be null; libFuzzer never passes null.
    static const uint8_t empty = 0;
    LLVMFuzzerTestOneInput(input.empty() ? &empty : input.data(), input.size());
}

std::vector<uint8_t> mutate(std::vector<uint8_t> v, std::mt19937 &rng)
{
    const int steps = 1 + static_cast<int>(rng() % 8);
    for (int s = 0; s < steps; ++s) {
        switch (rng() % 5) {
        case 0: // flip a byte
            if (!v.empty()) v[rng() % v.size()] = static_cast<uint8_t>(rng());
            break;
        case 1: // insert a byte
            v.insert(v.begin() + static_cast<long>(v.empty() ? 0 : rng() % (v.size() + 1)), static_cast<uint8_t>(rng()));
            break;
        case 2: // erase a range
            if (!v.empty()) {
                size_t at = rng() % v.size();
                size_t n = std::min<size_t>(v.size() - at, 1 + rng() % 16);
                v.erase(v.begin() + static_cast<long>(at), v.begin() + static_cast<long>(at + n));
            }
            break;
        case 3: // truncate
            if (!v.empty()) v.resize(rng() % v.size());
            break;
        default: // duplicate a range
            if (!v.empty()) {
                size_t at = rng() % v.size();
                size_t n = std::min<size_t>(v.size() - at, 1 + rng() % 32);
                std::vector<uint8_t> chunk(v.begin() + static_cast<long>(at), v.begin() + static_cast<long>(at + n));
                v.insert(v.begin() + static_cast<long>(rng() % (v.size() + 1)), chunk.begin(), chunk.end());
            }
            break;
        }
    }
    return v;
}

} // namespace

int main(int argc, char **argv)
{
    long mutations = 2000;
    std::vector<std::vector<uint8_t>> corpus;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mutations") == 0 && i + 1 < argc) {
            mutations = std::strtol(argv[++i], nullptr, 10);
            continue;
        }
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            std::vector<std::filesystem::path> files;
            for (const auto &e : std::filesystem::directory_iterator(p))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (const auto &f : files) corpus.push_back(readAll(f));
        } else if (std::filesystem::is_regular_file(p)) {
            corpus.push_back(readAll(p));
        } else {
            std::fprintf(stderr, "no such corpus: %s\n", argv[i]);
            return 2;
        }
    }
    corpus.emplace_back(); // the empty input
    for (const auto &c : corpus) runOne(c);

    std::mt19937 rng(12345);
    for (long m = 0; m < mutations; ++m) runOne(mutate(corpus[rng() % corpus.size()], rng));
    std::printf("replayed %zu corpus inputs and %ld mutations\n", corpus.size(), mutations);
    return 0;
}
