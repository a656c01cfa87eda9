#include "posix_io.h"

#include <unistd.h>

#include <cerrno>

namespace tessaly::posix {

FdCloser::~FdCloser() {
    if (fd >= 0) ::close(fd);
}

std::optional<std::string> read_all(int fd, std::size_t size) {
    std::string text(size, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        got += std::size_t(n);
    }
    text.resize(got);
    return text;
}

speed_t baud_constant(int baud) {
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    default: return B0;
    }
}

}  // namespace tessaly::posix
