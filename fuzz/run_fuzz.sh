#!/usr/bin/env bash
# run_fuzz.sh FUZZER SECONDS CORPUS_DIR SEED_DIR...
# Seeds a fresh corpus with the given folders' files (absent folders are
# skipped) and fuzzes for SECONDS; any crash, leak or sanitizer report fails.
set -euo pipefail
fuzzer=$1 seconds=$2 corpus=$3
shift 3
rm -rf "$corpus"
mkdir -p "$corpus"
for dir in "$@"; do
  if [[ -d $dir ]]; then
    find "$dir" -maxdepth 1 -type f \( -name '*.rtcm2' -o -name '*.rtcm' -o -name '*.ntrip' \) -exec cp {} "$corpus"/ \;
  else
    echo "run_fuzz: no seed folder $dir, skipped"
  fi
done
echo "run_fuzz: $(ls "$corpus" | wc -l) seed files, $seconds s"
exec "$fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$corpus/../" "$corpus"
