#pragma once
// The process's own figures that every Prometheus exporter serves
// (process_cpu_seconds_total and the like), read from /proc. No Qt.

#include <cstdint>

namespace tessaly::monitord {

struct ProcessFigures {
    double cpu_seconds = 0;       // user and system, from the scheduler's nanoseconds
    double resident_bytes = 0;
    double virtual_bytes = 0;
    double open_fds = 0;
    double max_fds = 0;
    double start_time = 0;        // seconds since 1970
};

// `start_time` is the caller's: the moment the process started.
ProcessFigures read_process_figures(double start_time);

// Raises the soft limit of open files to the hard limit; returns the limit
// in force afterwards.
std::uint64_t raise_open_file_limit();

}  // namespace tessaly::monitord
