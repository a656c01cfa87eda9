#!/usr/bin/env bash
# run_fuzz.sh FUZZER SECONDS CORPUS_DIR SEED_DIR...   (FUZZ_MAX_LEN: longest input, 65536)
# Seeds a fresh corpus with the files of the given folders (absent folders
# are skipped; README files are not seeds) and fuzzes for SECONDS; any crash,
# leak, timeout or sanitizer report fails. The final statistics and the last
# status line (cov: and ft: are coverage figures) end the output.
set -euo pipefail
fuzzer=$1 seconds=$2 corpus=$3
shift 3
rm -rf "$corpus"
mkdir -p "$corpus"
for dir in "$@"; do
  if [[ -d $dir ]]; then
    find "$dir" -maxdepth 1 -type f ! -iname 'README*' -exec cp {} "$corpus"/ \;
  else
    echo "run_fuzz: no seed folder $dir, skipped"
  fi
done
echo "run_fuzz: $(ls "$corpus" | wc -l) seed files, $seconds s"
exec "$fuzzer" -max_total_time="$seconds" -max_len="${FUZZ_MAX_LEN:-65536}" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$corpus/../" "$corpus"
