#pragma once
// The storing file: the one file that the recorder and the raw receive
// paths write into.
//
// Writes are collected in memory and handed to the operating system at
// every durability step (and whenever 64 KiB have piled up). A durability
// step closes the file and at once reopens it for appending, so everything
// written so far has left the process and writing goes on at the end. The
// file can also be a descriptor that is already open (standard output);
// its durability step only hands over what was collected.
//
// Every failure of an open, write or close throws StoringError with the
// operating system's reason. What was collected but not written when a
// write fails is dropped: the step that wrote it is abandoned, and a later
// step starts clean. After a failed reopen the next write tries again.

#include <stdexcept>
#include <string>
#include <string_view>

namespace tessaly {

class StoringError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class StoringFile {
public:
    StoringFile() = default;
    StoringFile(const StoringFile&) = delete;
    StoringFile& operator=(const StoringFile&) = delete;
    // Hands over what is collected (a failure can no longer be reported
    // here: call close() first to learn of it) and closes an owned file.
    ~StoringFile();

    // Creates the file empty (an existing file is overwritten) and keeps it
    // open for appending. On failure the file that was open stays open.
    void create(const std::string& path);
    // Opens the file for appending, creating it when absent. On failure
    // the file that was open stays open.
    void open_append(const std::string& path);
    // Writes to a descriptor that stays the caller's (not closed here);
    // `name` is used in error texts.
    void attach(int fd, std::string name);

    bool is_open() const { return fd_ >= 0 || !path_.empty(); }
    // The path, or the name given to attach().
    const std::string& name() const { return name_; }

    void write(std::string_view text);
    void write(char c) { write(std::string_view(&c, 1)); }
    // Everything written so far goes to the operating system; an owned
    // file is closed and reopened for appending.
    void make_durable();
    // Hands over what is collected and closes an owned file; afterwards
    // nothing is open.
    void close();

private:
    void switch_to(int fd, const std::string& path);
    void flush();
    void reopen();
    [[noreturn]] void fail(const std::string& what, int err);

    int fd_ = -1;
    bool owned_ = false;
    std::string path_;  // empty for an attached descriptor
    std::string name_;
    std::string pending_;
};

}  // namespace tessaly
