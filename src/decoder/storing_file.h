#pragma once
// The storing file: the one file that the recorder and the raw receive
// paths write into.
//
// Writes are collected in memory and handed to the operating system at
// every durability step (and whenever 64 KiB have piled up), so that the
// file is complete up to the last step. The file stays open: on Linux a
// close and reopen puts nothing more on disk than a write() does. What the
// reopen by name used to give is kept: a file that was moved away or
// deleted while storing (log rotation) is created anew at a durability
// step; the path's identity (device and inode) is compared with the open
// file's at most once per second.
//
// The file can also be a descriptor that is already open (standard
// output, a pipe): its durability steps only mark how far the text is
// complete, and hand_over() passes that much on, once per input chunk
// rather than once per frame.
//
// Every failure of an open, write or close throws StoringError with the
// operating system's reason. What was collected but not written when a
// write fails is dropped: the step that wrote it is abandoned, and a later
// step starts clean. After a failed reopen the next write tries again.

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tessaly {

class StoringError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes all of `data` to `fd`. A write that a signal interrupts goes on,
// unless `stopped` says that the run is to end: then it gives up. Returns
// 0, ECANCELED when it gave up, or the errno of a failure.
int write_fully(int fd, const char* data, std::size_t size, bool (*stopped)() = nullptr);

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
    // file that is no longer at its path is created anew there. An
    // attached descriptor only remembers that the text is complete so far.
    void make_durable();
    // An attached descriptor: the text up to the last durability step goes
    // to the operating system. Nothing to do for an owned file.
    void hand_over();
    // A write that a signal interrupts gives up when `stopped` says so
    // (the run is to end while the output takes nothing): the failure says
    // that the output is incomplete.
    void give_up_when(bool (*stopped)()) { stopped_ = stopped; }
    // How often a durability step compares the path with the open file.
    void check_path_every(std::chrono::steady_clock::duration interval) { check_interval_ = interval; }
    // Hands over what is collected and closes an owned file; afterwards
    // nothing is open.
    void close();

private:
    void switch_to(int fd, const std::string& path);
    void flush();
    void write_out(std::size_t count);
    void reopen();
    void remember_identity();
    bool still_at_path() const;
    [[noreturn]] void fail(const std::string& what, int err);

    int fd_ = -1;
    bool (*stopped_)() = nullptr;
    bool owned_ = false;
    std::string path_;  // empty for an attached descriptor
    std::string name_;
    std::string pending_;
    std::size_t complete_ = 0;  // attached: pending_ up to here is complete
    std::chrono::steady_clock::duration check_interval_ = std::chrono::seconds(1);
    std::chrono::steady_clock::time_point last_check_{};
    std::uint64_t device_ = 0, inode_ = 0;  // of the open owned file
};

}  // namespace tessaly
