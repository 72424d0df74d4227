#pragma once
// Firmware files made up for the tests: S2 records with correct checksums
// at chosen addresses, and whole files of them.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zar40::firmware::test {

// An S2 record of DATABYTES bytes (each the low byte of its address) at ADDRESS.
inline std::string s2(std::uint32_t address, int dataBytes = 16)
{
    const int count = dataBytes + 4;
    std::vector<int> bytes{count, int(address >> 16) & 0xFF, int(address >> 8) & 0xFF, int(address) & 0xFF};
    for (int i = 0; i < dataBytes; ++i) bytes.push_back(int(address + std::uint32_t(i)) & 0xFF);
    unsigned sum = 0;
    for (int b : bytes) sum += unsigned(b);
    bytes.push_back(int(~sum) & 0xFF);
    std::string line = "S2";
    char hex[3];
    for (int b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line;
}

inline const char *kHeader = "S00F00005A415234302D746573742E6D6878F0"; // an S0 header line

// A header, LINES - 2 data records from 0x010000 on, an S8 end record.
inline std::vector<std::string> firmwareLines(int lines)
{
    std::vector<std::string> out{kHeader};
    for (int i = 0; i < lines - 2; ++i) out.push_back(s2(0x010000 + std::uint32_t(i) * 16));
    out.push_back("S804010000FA");
    return out;
}

inline void writeLines(const std::filesystem::path &file, const std::vector<std::string> &lines,
                       const char *end = "\r\n")
{
    std::ofstream out(file, std::ios::binary);
    for (const auto &l : lines) out << l << end;
}

inline std::vector<std::string> readLines(const std::filesystem::path &file)
{
    std::ifstream in(file);
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

} // namespace zar40::firmware::test
