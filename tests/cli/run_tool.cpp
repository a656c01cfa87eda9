#include "run_tool.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tessaly::testing {

ToolResult run_tool(const std::string& program, const std::vector<std::string>& args, const std::string& input) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (rc != 0) throw std::runtime_error("cannot start " + program);

    // Feed stdin and drain both outputs together so that no pipe fills up.
    ToolResult r;
    std::size_t written = 0;
    if (input.empty()) ::close(in[1]), in[1] = -1;
    bool out_open = true, err_open = true;
    char buf[65536];
    while (out_open || err_open || in[1] >= 0) {
        pollfd fds[3] = {{out_open ? out[0] : -1, POLLIN, 0}, {err_open ? err[0] : -1, POLLIN, 0}, {in[1], POLLOUT, 0}};
        if (poll(fds, 3, 30000) <= 0) break;  // a tool that hangs for 30 s fails the test
        if (fds[0].revents) {
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n > 0) r.out.append(buf, std::size_t(n)); else out_open = false;
        }
        if (fds[1].revents) {
            const ssize_t n = ::read(err[0], buf, sizeof buf);
            if (n > 0) r.err.append(buf, std::size_t(n)); else err_open = false;
        }
        if (in[1] >= 0 && fds[2].revents) {
            const ssize_t n = ::write(in[1], input.data() + written, input.size() - written);
            if (n > 0) written += std::size_t(n);
            if (n <= 0 || written == input.size()) ::close(in[1]), in[1] = -1;
        }
    }
    if (in[1] >= 0) ::close(in[1]);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

struct OneShotServer::Impl {
    std::thread thread;
};

OneShotServer::OneShotServer(std::vector<std::uint8_t> payload) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) || ::listen(listen_fd_, 1) ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len))
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port_ = ntohs(a.sin_port);
    impl_ = new Impl;
    const int fd = listen_fd_;
    impl_->thread = std::thread([fd, payload = std::move(payload)] {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0) return;  // nobody came
        const int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) return;
        std::size_t sent = 0;
        while (sent < payload.size()) {
            const ssize_t n = ::send(c, payload.data() + sent, std::min<std::size_t>(payload.size() - sent, 1000), MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += std::size_t(n);
        }
        ::close(c);
    });
}

OneShotServer::~OneShotServer() {
    ::shutdown(listen_fd_, SHUT_RDWR);
    impl_->thread.join();
    ::close(listen_fd_);
    delete impl_;
}

int closed_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

}  // namespace tessaly::testing
