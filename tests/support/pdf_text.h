#pragma once
// What a reader finds in a PDF file, through poppler's pdfinfo, pdftotext
// and pdftoppm: the page count, the text of one page and one page as a
// picture. Empty answers when the tools are missing or the file is not a
// PDF file; pdfToolsPresent() tells which.
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
    return std::system("command -v pdftotext >/dev/null 2>&1 && command -v pdfinfo >/dev/null 2>&1"
                       " && command -v pdftoppm >/dev/null 2>&1") == 0;
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

// Page PAGE (from 1) drawn at DPI into PNG (a path ending in .png); false
// when nothing was drawn.
inline bool pdfPageToPng(const std::filesystem::path &pdf, int page, int dpi, const std::filesystem::path &png)
{
    std::filesystem::path stem = png;
    stem.replace_extension();
    const std::string n = std::to_string(page);
    const std::string command = "pdftoppm -png -singlefile -r " + std::to_string(dpi) + " -f " + n + " -l " + n + " " +
                                quoted(pdf) + " " + quoted(stem) + " 2>/dev/null";
    return std::system(command.c_str()) == 0 && std::filesystem::exists(png);
}

} // namespace vrntest
