#include "storing_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>


namespace tessaly {

namespace {

// Collected text beyond this goes out without waiting for a durability
// step (code format while searching has none for a long time).
constexpr std::size_t flush_threshold = 64 * 1024;

constexpr int append_flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;

}  // namespace

int write_fully(int fd, const char* data, std::size_t size, bool (*stopped)()) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno != EINTR) return errno;
            if (stopped && stopped()) return ECANCELED;
            continue;
        }
        data += n;
        size -= std::size_t(n);
        // A short write that the stop interrupted: give up at once unless
        // the output has room again.
        pollfd p{fd, POLLOUT, 0};
        if (size > 0 && stopped && stopped() && ::poll(&p, 1, 0) == 0) return ECANCELED;
    }
    return 0;
}

StoringFile::~StoringFile() {
    try {
        close();
    } catch (const StoringError&) {
        // Nobody is left to tell; close() reports it to those who ask.
    }
}

void StoringFile::fail(const std::string& what, int err) {
    throw StoringError(what + ": " + std::strerror(err));
}

void StoringFile::create(const std::string& path) {
    const int fd = ::open(path.c_str(), append_flags | O_TRUNC, 0666);
    if (fd < 0) fail("cannot create " + path, errno);
    switch_to(fd, path);
}

void StoringFile::open_append(const std::string& path) {
    const int fd = ::open(path.c_str(), append_flags, 0666);
    if (fd < 0) fail("cannot open " + path + " for appending", errno);
    switch_to(fd, path);
}

void StoringFile::attach(int fd, std::string name) {
    close();
    fd_ = fd;
    owned_ = false;
    name_ = std::move(name);
}

void StoringFile::switch_to(int fd, const std::string& path) {
    // What was collected belongs to the file open so far.
    try {
        close();
    } catch (const StoringError&) {
        ::close(fd);
        throw;
    }
    fd_ = fd;
    owned_ = true;
    path_ = path;
    name_ = path;
    remember_identity();
}

void StoringFile::remember_identity() {
    struct stat st{};
    if (::fstat(fd_, &st) == 0) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    last_check_ = std::chrono::steady_clock::now();
}

bool StoringFile::still_at_path() const {
    struct stat st{};
    return ::stat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}

void StoringFile::write(std::string_view text) {
    if (!is_open()) throw StoringError("no storing file is open");
    pending_.append(text);
    if (pending_.size() >= flush_threshold) flush();
}

void StoringFile::flush() { write_out(pending_.size()); }

// The first `count` collected characters go out.
void StoringFile::write_out(std::size_t count) {
    if (count == 0) return;
    if (fd_ < 0) reopen();
    if (const int err = write_fully(fd_, pending_.data(), count, stopped_); err != 0) {
        pending_.clear();
        complete_ = 0;
        if (err == ECANCELED)
            throw StoringError("stopped by a signal while waiting to write to " + name_ + ": the output is incomplete");
        fail("cannot write to " + name_, err);
    }
    pending_.erase(0, count);
    complete_ = complete_ > count ? complete_ - count : 0;
}

void StoringFile::reopen() {
    if (path_.empty()) throw StoringError("no storing file is open");
    const int fd = ::open(path_.c_str(), append_flags, 0666);
    if (fd < 0) fail("cannot reopen " + name_ + " for appending", errno);
    fd_ = fd;
    remember_identity();
}

void StoringFile::make_durable() {
    if (!owned_) {
        complete_ = pending_.size();
        return;
    }
    flush();
    if (fd_ >= 0) {
        if (std::chrono::steady_clock::now() - last_check_ < check_interval_) return;
        last_check_ = std::chrono::steady_clock::now();
        if (still_at_path()) return;
        // Moved away or deleted: the rest goes to a new file at the path.
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) fail("cannot close " + name_, errno);
    }
    reopen();
}

void StoringFile::hand_over() {
    if (!owned_) write_out(complete_);
}

void StoringFile::close() {
    std::string error;
    try {
        flush();
    } catch (const StoringError& e) {
        error = e.what();
    }
    const int fd = fd_;
    const bool owned = owned_;
    fd_ = -1;
    owned_ = false;
    path_.clear();
    pending_.clear();
    complete_ = 0;
    if (owned && fd >= 0 && ::close(fd) != 0 && error.empty())
        error = "cannot close " + name_ + ": " + std::strerror(errno);
    if (!error.empty()) throw StoringError(error);
}

}  // namespace tessaly
