#include "process_figures.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace tessaly::monitord {

ProcessFigures read_process_figures(double start_time) {
    ProcessFigures p;
    p.start_time = start_time;
    // Exact nanoseconds: the tick-based counts of /proc/self/stat read 0
    // for a process that only ever wakes briefly.
    if (std::FILE* f = std::fopen("/proc/self/schedstat", "r")) {
        unsigned long long ns = 0;
        if (std::fscanf(f, "%llu", &ns) == 1) p.cpu_seconds = double(ns) / 1e9;
        std::fclose(f);
    }
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        unsigned long long size = 0, resident = 0;
        if (std::fscanf(f, "%llu %llu", &size, &resident) == 2) {
            const double page = double(::sysconf(_SC_PAGESIZE));
            p.virtual_bytes = double(size) * page;
            p.resident_bytes = double(resident) * page;
        }
        std::fclose(f);
    }
    if (DIR* d = ::opendir("/proc/self/fd")) {
        int n = 0;
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
        p.open_fds = n - 1;  // not the one that lists them
    }
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) == 0) p.max_fds = r.rlim_cur == RLIM_INFINITY ? -1 : double(r.rlim_cur);
    return p;
}

std::uint64_t raise_open_file_limit() {
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) != 0) return 0;
    if (r.rlim_cur < r.rlim_max) {
        r.rlim_cur = r.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &r);
        ::getrlimit(RLIMIT_NOFILE, &r);
    }
    return r.rlim_cur;
}

}  // namespace tessaly::monitord
