#include "byte_source.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>
#include <fcntl.h>

#include <array>
#include <memory>

#include "port_number.h"

namespace tessaly::cli {

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

std::string read_fd(int fd, const std::string& what, const ChunkSink& sink) {
    std::array<std::uint8_t, 65536> buf{};
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n > 0) {
            sink(std::span<const std::uint8_t>(buf.data(), std::size_t(n)));
        } else if (n == 0) {
            return {};
        } else if (errno != EINTR) {
            return "cannot read " + what + ": " + std::strerror(errno);
        }
    }
}

std::string read_tcp(const std::string& endpoint, const ChunkSink& sink) {
    const auto colon = endpoint.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == endpoint.size())
        return "bad TCP source 'tcp://" + endpoint + "': expected tcp://HOST:PORT";
    std::string host = endpoint.substr(0, colon);
    const std::string port = endpoint.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    // A number must name a port; getaddrinfo would cut it to 16 bits. Other
    // texts are service names ("rtcm-sc104").
    if (port.find_first_not_of("0123456789") == std::string::npos && !parse_port(port))
        return "bad TCP source 'tcp://" + endpoint + "': the port must be 1..65535";

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0)
        return "cannot resolve " + host + ":" + port + ": " + ::gai_strerror(rc);
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

    std::string last_error = "no address";
    for (addrinfo* ai = found; ai; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            last_error = std::strerror(errno);
            continue;
        }
        FdCloser closer{fd};
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            last_error = std::strerror(errno);
            continue;
        }
        return read_fd(fd, "tcp://" + endpoint, sink);
    }
    return "cannot connect to " + host + ":" + port + ": " + last_error;
}

}  // namespace

std::string read_source(const std::string& source, const ChunkSink& sink) {
    if (source == "-") return read_fd(STDIN_FILENO, "standard input", sink);
    if (source.rfind("tcp://", 0) == 0) return read_tcp(source.substr(6), sink);
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot open " + source + ": " + std::strerror(errno);
    FdCloser closer{fd};
    return read_fd(fd, source, sink);
}

}  // namespace tessaly::cli
