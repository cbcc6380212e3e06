// A file's contents as a string, byte for byte, for tests that write input files and read
// back what the tool wrote.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
