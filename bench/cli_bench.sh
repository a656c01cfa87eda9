#!/bin/bash
# tessaly-decode beside RTKLIB's convbin and gpsd's gpsdecode on the same
# file, in one run: MB/s of every format and the ratios to both peers.
#
#   bench/cli_bench.sh [-n RUNS] [-b TESSALY_DECODE] [-c] [-m MB] [FILE]
#
# Without FILE, data/demo.rtcm2 repeated to MB megabytes (default 20). "alarms" is the summary
# with the alarm rules judging every frame; the last line compares the two. Every figure is the median
# of RUNS (default 5) wall-clock runs; the runs of all programs alternate, so
# a load that comes and goes on the machine touches them alike. With -c the
# figures are CPU seconds (user and system) instead of wall-clock seconds:
# on a machine that other work keeps busy, a program's wall-clock time is
# mostly its wait for a processor (the system counts CPU time in ticks of a
# few milliseconds: give -m 100 or more). Output goes to
# a temporary folder (convbin deletes an output file it wrote no observation
# to: never give it /dev/null) or, for the JSON and text, to /dev/null.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
runs=5
cpu=0
megabytes=20
decode="$here/build/src/cli/tessaly-decode"
while getopts "n:b:cm:" opt; do
    case $opt in
        n) runs=$OPTARG ;;
        b) decode=$OPTARG ;;
        c) cpu=1 ;;
        m) megabytes=$OPTARG ;;
        *) echo "usage: $0 [-n RUNS] [-b TESSALY_DECODE] [-c] [-m MB] [FILE]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
input=${1:-}
if [ -z "$input" ]; then
    input="$tmp/demo$megabytes.rtcm2"
    python3 -c "import sys; d=open(sys.argv[1],'rb').read(); n=int(sys.argv[3])*1024*1024; open(sys.argv[2],'wb').write((d*(n//len(d)+1))[:n])" \
        "$here/data/demo.rtcm2" "$input" "$megabytes"
fi
[ -x "$decode" ] || { echo "no $decode: build it first (cmake --build --preset dev --target tessaly-decode)" >&2; exit 1; }
bytes=$(stat -c %s "$input")

# The hour of the recordings; convbin needs it to place the Z-counts.
clock=(--clock 2009-12-18T23:14:00Z)
names=(read summary alarms code text json convbin gpsdecode)
declare -A cmd=(
    [read]="cat '$input' > /dev/null"
    [summary]="'$decode' ${clock[*]} --format summary '$input' > /dev/null"
    [alarms]="'$decode' ${clock[*]} --format summary --alarms '$input' > /dev/null 2>&1"
    [code]="'$decode' ${clock[*]} --format code '$input' > /dev/null"
    [text]="'$decode' ${clock[*]} --format text '$input' > /dev/null"
    [json]="'$decode' ${clock[*]} --format json '$input' > /dev/null"
    [convbin]="convbin -r rtcm2 -tr 2009/12/18 23:14:00 -o '$tmp/out.obs' '$input' 2> /dev/null"
    [gpsdecode]="gpsdecode < '$input' > /dev/null 2>&1"
)
for peer in convbin gpsdecode; do
    command -v $peer > /dev/null || { echo "$peer is missing (Debian: rtklib, gpsd-clients)" >&2; exit 1; }
done

declare -A times
TIMEFORMAT='%3U %3S'
for ((r = 0; r < runs; r++)); do
    for n in "${names[@]}"; do
        if ((cpu)); then
            read -r user sys < <({ time eval "${cmd[$n]}"; } 2>&1)
            times[$n]+="$((10#${user/./} * 1000 + 10#${sys/./} * 1000)) "
            continue
        fi
        # In this shell, so that only the program's own start is timed, not
        # that of a shell or of date(1) around it.
        start=${EPOCHREALTIME/./}
        eval "${cmd[$n]}"
        end=${EPOCHREALTIME/./}
        times[$n]+="$((end - start)) "
    done
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
printf "%s: %d bytes, median of %d runs, %s\n" "$input" "$bytes" "$runs" \
    "$( ((cpu)) && echo "CPU seconds" || echo "wall-clock seconds")"
printf "%-10s %9s %9s %11s %13s\n" "" "seconds" "MB/s" "x convbin" "x gpsdecode"
declare -A us
for n in "${names[@]}"; do us[$n]=$(echo "${times[$n]}" | median); done
for n in "${names[@]}"; do
    awk -v n="$n" -v t="${us[$n]}" -v b="$bytes" -v c="${us[convbin]}" -v g="${us[gpsdecode]}" \
        'BEGIN { printf "%-10s %9.3f %9.1f %11.2f %13.2f\n", n, t / 1e6, b / t, c / t, g / t }'
done
awk -v a="${us[alarms]}" -v s="${us[summary]}" \
    'BEGIN { printf "alarms: %.1f %% slower than the summary alone\n", (a / s - 1) * 100 }'
