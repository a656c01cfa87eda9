#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "byte_source.h"
#include "storing_file.h"

namespace tessaly::cli {

namespace {

// Collected text goes out at every flush and whenever this much piled up.
constexpr std::size_t kHandOverSize = 64 * 1024;

struct Identity {
    dev_t device;
    ino_t inode;
};

std::optional<Identity> regular_file(int stat_result, const struct stat& st) {
    if (stat_result != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return Identity{st.st_dev, st.st_ino};
}

std::optional<Identity> identity_of_path(const std::string& path) {
    struct stat st{};
    return regular_file(::stat(path.c_str(), &st), st);
}

std::optional<Identity> identity_of_fd(int fd) {
    struct stat st{};
    return regular_file(::fstat(fd, &st), st);
}

}  // namespace

OutputFile::~OutputFile() {
    hand_over();
    if (owned_) ::close(fd_);
}

bool OutputFile::open(const std::string& path) {
    if (path.empty()) return true;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error_ = "cannot open " + path + " for appending: " + std::strerror(errno);
        return false;
    }
    fd_ = fd;
    owned_ = true;
    name_ = path;
    return true;
}

bool OutputFile::hand_over() {
    if (!error_.empty()) return false;
    const int err = write_fully(fd_, pending_.data(), pending_.size(), stop_requested);
    pending_.clear();
    if (err == ECANCELED) error_ = "stopped by a signal while waiting to write to " + name_ + ": the output is incomplete";
    else if (err != 0) error_ = "cannot write " + name_ + ": " + std::strerror(err);
    return err == 0;
}

OutputFile::int_type OutputFile::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? 0 : traits_type::eof();
    pending_.push_back(traits_type::to_char_type(c));
    if (pending_.size() >= kHandOverSize && !hand_over()) return traits_type::eof();
    return error_.empty() ? c : traits_type::eof();
}

std::streamsize OutputFile::xsputn(const char* s, std::streamsize n) {
    if (!error_.empty()) return 0;
    pending_.append(s, std::size_t(n));
    if (pending_.size() >= kHandOverSize && !hand_over()) return 0;
    return n;
}

int OutputFile::sync() { return hand_over() ? 0 : -1; }

std::string output_is_input(const Options& opt) {
    std::optional<Identity> in;
    if (opt.source == "-") in = identity_of_fd(STDIN_FILENO);
    else if (opt.source.find("://") == std::string::npos) in = identity_of_path(opt.source);
    if (!in) return {};
    const auto out = opt.output.empty() ? identity_of_fd(STDOUT_FILENO) : identity_of_path(opt.output);
    if (!out || out->device != in->device || out->inode != in->inode) return {};
    const std::string output = opt.output.empty() ? "standard output" : opt.output;
    const std::string input = opt.source == "-" ? "standard input" : opt.source;
    return "the output " + output + " is the input " + input + ": it would decode its own output";
}

}  // namespace tessaly::cli
