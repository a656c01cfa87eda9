#pragma once
// Small POSIX pieces that the command-line tools and the network monitor
// both need: whole small files read safely, and serial speeds.

#include <termios.h>

#include <cstddef>
#include <optional>
#include <string>

namespace tessaly::posix {

// Closes a descriptor when the scope ends, whatever path leaves it.
struct FdCloser {
    int fd;
    ~FdCloser();
};

// The bytes of an open regular file whose size `fstat` gave, read through
// interrupted calls; a file that shrank meanwhile gives what it has.
// Nothing on a read error, with errno telling which.
std::optional<std::string> read_all(int fd, std::size_t size);

// The termios constant for a baud rate, or B0 for a rate the system has
// no constant for.
speed_t baud_constant(int baud);

}  // namespace tessaly::posix
