#pragma once
// TCP keepalive with short intervals: a link that is cut (cable, Wi-Fi,
// a router that forgets the connection) is noticed within about 15 s
// instead of never, as a read on such a socket would otherwise block for good.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace tessaly {

inline void enable_short_keepalive(int fd) {
    if (fd < 0) return;
    const int on = 1, idle = 5, interval = 3, count = 3;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

}  // namespace tessaly
