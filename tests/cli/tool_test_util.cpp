#include "tool_test_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace tessaly::testing {

ToolResult run_tool(const std::string& program, const std::vector<std::string>& args, const std::string& input) {
    const auto quoted = [](const std::string& a) { return "'" + std::regex_replace(a, std::regex("'"), "'\\''") + "'"; };
    TempPath in("tool-in"), out("tool-out"), err("tool-err");
    write_file(in.str(), input);
    std::string cmd = "timeout -s KILL 30 " + quoted(program);
    for (const auto& a : args) cmd += " " + quoted(a);
    cmd += " <" + quoted(in.str()) + " >" + quoted(out.str()) + " 2>" + quoted(err.str());
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out.str()), read_file(err.str())};
}

std::string read_file(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

TempPath::TempPath(const std::string& stem) {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            (stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".txt");
    std::filesystem::remove(path_);
}

Child::Child(const std::string& program, const std::vector<std::string>& args, int stdin_fd)
    : out_("child-out"), err_("child-err") {
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(stdin_fd >= 0 ? stdin_fd : ::open("/dev/null", O_RDONLY), 0);
        ::dup2(::open(out_.str().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        ::dup2(::open(err_.str().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
}

Child::~Child() {
    if (pid_ > 0 && status_ < 0) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
}

void Child::signal(int sig) const { ::kill(pid_, sig); }

int Child::wait(int ms) {
    for (int waited = 0; status_ < 0 && waited < ms; waited += 10) {
        int st = 0;
        if (::waitpid(pid_, &st, WNOHANG) == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 1000 + WTERMSIG(st);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_ >= 1000 ? -1 : status_;
}

std::string Child::await_err(const std::string& pattern, int ms) const {
    const std::regex re(pattern);
    for (int waited = 0; waited < ms; waited += 20) {
        std::smatch m;
        const std::string e = err();
        if (std::regex_search(e, m, re)) return m.size() > 1 ? m[1].str() : m[0].str();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

namespace {

// Binds `fd` to a free port of 127.0.0.1 and returns the port.
int bind_loopback(int fd) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len))
        throw std::runtime_error("cannot bind to 127.0.0.1");
    return ntohs(a.sin_port);
}

}  // namespace

Listener::Listener() : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), port(std::to_string(bind_loopback(fd))) {
    ::listen(fd, 1);
}
Listener::~Listener() { ::close(fd); }

int closed_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int port = bind_loopback(fd);
    ::close(fd);
    return port;
}

}  // namespace tessaly::testing
