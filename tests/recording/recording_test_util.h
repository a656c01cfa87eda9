#pragma once
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tessaly::testing {

// A file name in the temporary folder, removed again at the end of the test.
class TempPath {
public:
    explicit TempPath(const std::string& stem) {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                (stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".txt");
        std::filesystem::remove(path_);
    }
    ~TempPath() { std::filesystem::remove(path_); }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace tessaly::testing
