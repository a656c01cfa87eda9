#pragma once
// Runs a command-line tool of ours as a child process and captures what it
// printed, for tests that check whole outputs and exit statuses.
#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::testing {

struct ToolResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args`; `input` is written to its standard input.
ToolResult run_tool(const std::string& program, const std::vector<std::string>& args,
                    const std::string& input = {});

std::string read_file(const std::string& path);

// A loopback TCP server on 127.0.0.1 that sends `payload` to the first
// client, then closes; port() is chosen by the system.
class OneShotServer {
public:
    explicit OneShotServer(std::vector<std::uint8_t> payload);
    ~OneShotServer();
    int port() const { return port_; }

private:
    int listen_fd_ = -1;
    int port_ = 0;
    struct Impl;
    Impl* impl_ = nullptr;
};

// A loopback port on which nothing listens.
int closed_port();

}  // namespace tessaly::testing
