#pragma once
// Helpers shared by the preset tests.
#include "zar40/preset/fields.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace preset_test {

inline std::string dataFile(const std::string &name) { return std::string(PRESET_TEST_DATA) + "/" + name; }

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

// A fresh folder per test, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "zar40-preset-XXXXXX").string();
        path_ = ::mkdtemp(templ.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> out;
        for (const auto &e : std::filesystem::directory_iterator(path_)) out.push_back(e.path().filename().string());
        return out;
    }

private:
    std::string path_;
};

// Names the first differing field, which says more than "records differ".
inline ::testing::AssertionResult sameRecord(const zar40::preset::PresetRecord &expected,
                                             const zar40::preset::PresetRecord &actual)
{
    const auto diff = zar40::preset::differingFields(expected, actual);
    if (diff.empty()) return ::testing::AssertionSuccess();
    const auto &d = *diff.front();
    auto failure = ::testing::AssertionFailure() << diff.size() << " field(s) differ, first " << d.path << ": ";
    if (d.isText())
        return failure << '"' << fieldText(expected, d) << "\" vs \"" << fieldText(actual, d) << '"';
    return failure << std::hex << "0x" << fieldWord(expected, d) << " vs 0x" << fieldWord(actual, d);
}

// Runs libxml2's xmllint on PATH: the strict XML 1.0 check that other tools
// apply to the files we write.
inline ::testing::AssertionResult strictXmlParserAccepts(const std::string &path)
{
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0)
        return ::testing::AssertionFailure() << "xmllint is missing (scripts/install-deps installs libxml2-utils)";
    const std::string command = "xmllint --noout '" + path + "' 2>&1";
    std::string output;
    if (FILE *p = ::popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p)) output += buf;
        if (::pclose(p) == 0) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "xmllint refuses " << path << ":\n" << output;
}

} // namespace preset_test
