#pragma once
// Helpers for tests that run our command-line tools as child processes:
// whole outputs and exit statuses, temporary files, a loopback TCP source.
#include <filesystem>
#include <string>
#include <vector>

namespace tessaly::testing {

struct ToolResult {
    int status = -1;  // exit status: 127 when the program is not found, 137 when killed
    std::string out;
    std::string err;
};

// Runs `program` (searched on PATH when it has no slash) with `args`;
// `input` is its standard input. A tool still running after 30 s is killed.
ToolResult run_tool(const std::string& program, const std::vector<std::string>& args,
                    const std::string& input = {});

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);

// A file name in the temporary folder, removed again at the end of the test.
class TempPath {
public:
    explicit TempPath(const std::string& stem);
    ~TempPath() { std::filesystem::remove(path_); }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// A program running beside the test, its output in files; killed at the end.
class Child {
public:
    // `stdin_fd`: its standard input (default /dev/null).
    Child(const std::string& program, const std::vector<std::string>& args, int stdin_fd = -1);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    void signal(int sig) const;
    // The exit status, or -1 when it did not end in `ms` (or ended by a signal).
    int wait(int ms = 15000);
    std::string out() const { return read_file(out_.str()); }
    std::string err() const { return read_file(err_.str()); }
    // Waits until standard error matches `pattern`; returns the first group
    // (the whole match when there is none), empty after `ms`.
    std::string await_err(const std::string& pattern, int ms = 10000) const;

private:
    TempPath out_, err_;
    int pid_ = -1;
    int status_ = -1;
};

// A loopback port on which nothing listens.
int closed_port();

// A socket listening on 127.0.0.1 at a port of the system's choosing.
struct Listener {
    Listener();
    ~Listener();
    int fd;
    std::string port;
};

}  // namespace tessaly::testing
