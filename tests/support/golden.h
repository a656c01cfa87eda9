#pragma once
// The text of the golden file at `path`, first rewritten with `text` when
// TESSALY_UPDATE_GOLDEN is set (check the difference by hand).
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace tessaly::testing {

inline std::string golden_check(const std::string& text, const std::string& path) {
    if (std::getenv("TESSALY_UPDATE_GOLDEN")) std::ofstream(path, std::ios::binary) << text;
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tessaly::testing
