#pragma once
// Where --format json, summary and stats write: standard output or a file
// opened for appending, behind a std::ostream. Every failure of a write is
// kept with the operating system's reason, so that the run can stop at the
// first one and say why.

#include <string>
#include <streambuf>

#include "options.h"

namespace tessaly::cli {

class OutputFile : public std::streambuf {
public:
    OutputFile() = default;
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Appends to `path`, created when absent; empty: standard output.
    // False with error() set when it cannot be opened.
    bool open(const std::string& path);
    // The first failure: "cannot write NAME: REASON"; empty while none.
    const std::string& error() const { return error_; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    bool hand_over();

    int fd_ = 1;
    bool owned_ = false;
    std::string name_ = "standard output";
    std::string pending_;
    std::string error_;
};

// Empty, or why the output may not be written: it is the input file (the
// same regular file, by device and inode, also through redirections), which
// would be decoded while it grows.
std::string output_is_input(const Options& opt);

}  // namespace tessaly::cli
