#pragma once
// What a reader finds in a PDF file, through poppler's pdfinfo and pdftotext:
// the page count and the text of one page. Empty answers when the tools are
// missing or the file is not a PDF file; pdfToolsPresent() tells which.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace vrntest {

inline std::string commandOutput(const std::string &command)
{
    std::string out;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    ::pclose(pipe);
    return out;
}

inline bool pdfToolsPresent()
{
    return std::system("command -v pdftotext >/dev/null 2>&1 && command -v pdfinfo >/dev/null 2>&1") == 0;
}

inline std::string quoted(const std::filesystem::path &path) { return "'" + path.string() + "'"; }

// 0 when the file has no pages a reader can see.
inline int pdfPageCount(const std::filesystem::path &pdf)
{
    const std::string info = commandOutput("pdfinfo " + quoted(pdf) + " 2>/dev/null");
    const auto at = info.find("Pages:");
    return at == std::string::npos ? 0 : std::atoi(info.c_str() + at + 6);
}

// The text of page PAGE (from 1), UTF-8.
inline std::string pdfPageText(const std::filesystem::path &pdf, int page)
{
    const std::string n = std::to_string(page);
    return commandOutput("pdftotext -enc UTF-8 -layout -f " + n + " -l " + n + " " + quoted(pdf) + " - 2>/dev/null");
}

} // namespace vrntest
