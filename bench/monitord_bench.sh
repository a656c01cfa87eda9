#!/bin/bash
# The network monitor under load, on 127.0.0.1: streams of RATE bytes a
# second arriving in READS writes a second from tessaly-netload's casters.
#
#   bench/monitord_bench.sh [-b BUILD] [-s SECONDS] scale N...   one tessaly-monitord per N: CPU, memory,
#                                                                 scrape time, every byte decoded
#   bench/monitord_bench.sh [-b BUILD] [-s SECONDS] compare K    K streams as K tessaly-decode, K str2str
#                                                                 and one tessaly-monitord, side by side
#   bench/monitord_bench.sh [-b BUILD] churn MINUTES [N]         memory over an accelerated day of churn
#
# CPU comes from /proc/PID/schedstat (exact nanoseconds; the tick-based
# /proc/PID/stat reads 0 for processes that wake briefly), memory from
# /proc/PID/smaps_rollup (PSS: shared libraries split between the
# processes that map them) and /proc/PID/status (RSS). The load generator's
# own CPU is not counted. Figures vary with what else the machine runs:
# the load average is printed with them.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
seconds=20
rate=600
reads=10
file=$here/data/demo.rtcm2
while getopts "b:s:" opt; do
    case $opt in
        b) build=$OPTARG ;;
        s) seconds=$OPTARG ;;
        *) sed -n '2,14p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
mode=${1:-}
shift || true
monitord=$build/tessaly-monitord
netload=$build/bench/tessaly-netload
decode=$build/src/cli/tessaly-decode
for p in "$monitord" "$netload" "$decode"; do
    [ -x "$p" ] || { echo "no $p: build it first (cmake --build --preset dev)" >&2; exit 1; }
done
tmp=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
ulimit -n "$(ulimit -Hn)"
# Below the ephemeral ports (32768 up), which live connections hold.
base_port=$((12000 + RANDOM % 8000))

# Every thread of the processes (str2str reads in a thread of its own); a
# process that ended meanwhile counts nothing (measure() names how many ran).
cpu_ns() { local p; for p in "$@"; do cat /proc/"$p"/task/*/schedstat 2>/dev/null; done | awk '{s += $1} END {printf "%.0f", s}'; }
pss_kb() { local p; for p in "$@"; do awk '/^Pss:/ {print $2}' "/proc/$p/smaps_rollup" 2>/dev/null; done | awk '{s += $1} END {printf "%.0f", s}'; }
alive() { local p n=0; for p in "$@"; do [ -d "/proc/$p" ] && n=$((n + 1)); done; echo $n; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

# Starts tessaly-netload with N mountpoints (sending for SEND seconds, 0:
# until stopped, then writing its counts) and more options. From 2 000
# streams on, two of them (two casters), so that the load keeps its pace.
start_load() {
    local n=$1 send=$2
    shift 2
    loads=1
    [ "$n" -ge 2000 ] && [ $# -eq 0 ] && loads=2
    local l
    for ((l = 0; l < loads; l++)); do
        "$netload" --port $((base_port + l)) --streams $((n / loads)) --rate "$rate" --reads "$reads" --file "$file" \
            --seconds "$send" --counts "$tmp/counts$l" "$@" 2>"$tmp/netload$l.log" &
        pids+=($!)
    done
    sleep 0.5
}

calc() { awk "BEGIN {print $*}"; }

# Starts tessaly-monitord on the load's casters (K casters): mon_pid, port.
start_monitord() {
    local casters=${1:-1} interval=${2:-3600} silence=${3:-20} c
    { echo "[monitord]"; echo "listen=127.0.0.1:0"; echo "silence=$silence"
      echo "sourcetable_interval=$interval"
      for ((c = 0; c < casters; c++)); do echo "[caster.load$c]"; echo "url=ntrip://127.0.0.1:$((base_port + c))?v=1"; done
    } > "$tmp/monitord.conf"
    "$monitord" --config "$tmp/monitord.conf" >/dev/null 2>"$tmp/monitord.log" &
    mon_pid=$!
    pids+=($mon_pid)
    local i
    for ((i = 0; i < 100; i++)); do
        grep -q 'serving http' "$tmp/monitord.log" 2>/dev/null && break
        sleep 0.1
    done
    port=$(grep -o '127.0.0.1:[0-9]*/metrics' "$tmp/monitord.log" | head -1 | cut -d: -f2 | cut -d/ -f1)
}

total_bytes() { curl -s "127.0.0.1:$port/metrics" | awk '/^tessaly_bytes_total/ {s += $2} END {printf "%.0f", s}'; }
up_streams() { curl -s "127.0.0.1:$port/metrics" | grep -c '^tessaly_stream_up{.*} 1$' || true; }

wait_up() {
    local n=$1 i
    for ((i = 0; i < 600; i++)); do
        [ "$(up_streams)" -ge "$n" ] && return 0
        sleep 0.2
    done
    echo "only $(up_streams) of $n streams came up" >&2
    return 1
}

# Median of the scrape times (s) of five scrapes of /metrics.
scrape_time() {
    local i
    for i in 1 2 3 4 5; do curl -s -o /dev/null -w '%{time_total}\n' "127.0.0.1:$port/metrics"; done | sort -n | sed -n 3p
}

scale() {
    local n=$1 warm=15
    start_load "$n" $((warm + seconds + 8))
    start_monitord "$loads"
    local pid=$mon_pid
    wait_up "$n"
    sleep 3
    local c0 c1 ns b0 b1
    b0=$(total_bytes); c0=$(cpu_ns "$pid"); sleep "$seconds"; c1=$(cpu_ns "$pid"); b1=$(total_bytes)
    ns=$((c1 - c0))
    # Stream-seconds at the rate the streams really had: a load that fell
    # behind its pace on a busy machine is not counted as delivered.
    local stream_seconds
    stream_seconds=$(calc "($b1 - $b0) / $rate")
    local scrape size
    scrape=$(scrape_time)
    size=$(curl -s "127.0.0.1:$port/metrics" | wc -c)
    # The load stops sending and counts; the monitor's counters then stand still.
    local i
    for ((i = 0; i < 600; i++)); do [ -s "$tmp/counts$((loads - 1))" ] && break; sleep 0.1; done
    sleep 2
    curl -s "127.0.0.1:$port/metrics" | sed -n 's/^tessaly_bytes_total{stream="\(.*\)"} \(.*\)$/\1 \2/p' | sort > "$tmp/got"
    for ((i = 0; i < loads; i++)); do sed "s|^|load$i/|" "$tmp/counts$i"; done | sort > "$tmp/sent"
    local differ
    join -a1 -a2 -e missing -o 0,1.2,2.2 "$tmp/sent" "$tmp/got" | awk '$2 != $3' > "$tmp/differ"
    differ=$(wc -l < "$tmp/differ")
    [ "$differ" -eq 0 ] || { echo "sent, decoded:"; head "$tmp/differ"; grep -v ' watching ' "$tmp/monitord.log" | head; } >&2
    local sent
    sent=$(awk '{s += $2} END {print s}' "$tmp/sent")
    printf "%6d streams: CPU %6.2f %% of one core (%.3f ms per stream-second), RSS %4d MB, PSS %4d MB (%.1f KB per stream), scrape %.0f ms (%d bytes), streams at %.0f %% of their pace, bytes sent %d, streams whose byte count differs: %d; load %s\n" \
        "$n" "$(calc "$ns / $seconds / 10000000")" "$(calc "$ns / $stream_seconds / 1000000")" \
        $(($(rss_kb "$pid") / 1024)) $(($(pss_kb "$pid") / 1024)) "$(calc "$(pss_kb "$pid") / $n")" \
        "$(calc "$scrape * 1000")" "$size" "$(calc "100 * $stream_seconds / $seconds / $n")" "$sent" "$differ" "$(load)"
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    pids=()
    rm -f "$tmp"/counts*
    base_port=$((base_port + 10))
}

# CPU (ms per stream-second) and PSS (MB per stream) of processes watching K streams.
measure() {
    local what=$1 k=$2
    shift 2
    sleep 8
    local c0 c1
    local before after
    before=$(alive "$@")
    c0=$(cpu_ns "$@"); sleep "$seconds"; c1=$(cpu_ns "$@")
    after=$(alive "$@")
    # Per stream: streams whose process ran the whole time.
    k=$((k * after / $#))
    printf "%-16s %5d streams in %4d processes (%d running at the start, %d at the end): %.3f ms CPU per stream-second, %.3f MB PSS per stream; load %s\n" \
        "$what" "$k" "$#" "$before" "$after" "$(calc "($c1 - $c0) / $seconds / $k / 1000000")" \
        "$(calc "$(pss_kb "$@") / $k / 1024")" "$(load)"
}

compare() {
    local k=$1 i
    command -v str2str >/dev/null || { echo "str2str is missing (Debian: rtklib)" >&2; exit 1; }
    start_load "$k" 0
    local procs=()
    for ((i = 0; i < k; i++)); do
        "$decode" --format summary "ntrip://127.0.0.1:$base_port/$(printf 'S%05d' $i)?v=1" >/dev/null 2>&1 &
        procs+=($!)
    done
    pids+=("${procs[@]}")
    measure tessaly-decode "$k" "${procs[@]}"
    kill "${procs[@]}"; wait "${procs[@]}" 2>/dev/null || true
    procs=()
    for ((i = 0; i < k; i++)); do
        # It reads only with an output: a TCP server nobody connects to.
        str2str -in "ntrip://127.0.0.1:$base_port/$(printf 'S%05d' $i)" -out "tcpsvr://:$((base_port + 1000 + i))" \
            >/dev/null 2>&1 &
        procs+=($!)
    done
    pids+=("${procs[@]}")
    measure str2str "$k" "${procs[@]}"
    kill "${procs[@]}"; wait "${procs[@]}" 2>/dev/null || true
    start_monitord
    wait_up "$k"
    measure tessaly-monitord "$k" "$mon_pid"
}

# An accelerated day: every minute stands for an hour of a network of N
# streams on 4 casters: each stream's connection drops about ten times a
# day, 5 mountpoints are replaced in the sourcetables every hour, a caster
# restarts every six hours. RSS every 10 s.
churn() {
    local minutes=$1 n=${2:-1000}
    start_load "$n" 0 --casters 4 --drop-per-s $((n * 10 / 1440 + 1)) --table-every 60 --table-change 5 \
        --restart-every 360
    start_monitord 4 5 5
    local pid=$mon_pid
    wait_up $((n * 9 / 10)) || true
    local t0 samples=() i
    t0=$(date +%s)
    for ((i = 0; i <= minutes * 6; i++)); do
        samples+=("$(rss_kb "$pid")")
        [ $((i % 30)) -eq 0 ] && printf "%4d min: RSS %d MB, %d streams up, PSS %d MB\n" $((i / 6)) \
            $((samples[-1] / 1024)) "$(up_streams)" $(($(pss_kb "$pid") / 1024))
        sleep 10
    done
    printf "churn over %d min (%d simulated hours): RSS first %d MB, last %d MB, lowest %d MB, highest %d MB; reconnects %s, sourcetable changes %s; load %s\n" \
        "$minutes" "$minutes" $((samples[0] / 1024)) $((samples[-1] / 1024)) \
        $(($(printf '%s\n' "${samples[@]}" | sort -n | head -1) / 1024)) \
        $(($(printf '%s\n' "${samples[@]}" | sort -n | tail -1) / 1024)) \
        "$(curl -s "127.0.0.1:$port/metrics" | awk '/^tessaly_reconnects_total/ {s += $2} END {print s}')" \
        "$(curl -s "127.0.0.1:$port/metrics" | awk '/^tessaly_caster_sourcetable_changes_total/ {s += $2} END {print s}')" \
        "$(load)"
}

case $mode in
    scale) for n in "$@"; do scale "$n"; done ;;
    compare) compare "${1:-100}" ;;
    churn) churn "${1:-24}" "${2:-1000}" ;;
    *) sed -n '2,14p' "$0" >&2; exit 2 ;;
esac
