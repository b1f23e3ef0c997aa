#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time (seconds per
# target, default 60), seeded from examples/ and generated escape sequences.
# Fails on any finding; the input that found it is left in build/fuzz-findings.
# Usage: scripts/fuzz.sh [seconds per target] [targets...]
. "$(dirname "$0")/lib.sh"
Seconds=${1:-60}
shift || true
Targets=("$@")
[ ${#Targets[@]} -gt 0 ] || Targets=(fuzz_params fuzz_walk fuzz_png fuzz_conversion fuzz_fold)
Install "${BASE_PACKAGES[@]}" clang libclang-rt-14-dev
Build fuzz

Corpus=build/fuzz-corpus
Findings=build/fuzz-findings
mkdir -p "$Findings"
scripts/make-inputs.py --fuzz-seeds "$Corpus" examples

declare -A MaxLen=([fuzz_params]=600 [fuzz_fold]=1200 [fuzz_walk]=65536 [fuzz_png]=4096 [fuzz_conversion]=16384)
Failed=0
printf '| target | seconds | executions | exec/s | coverage (cov) | features (ft) | findings |\n|---|---:|---:|---:|---:|---:|---:|\n' > "$Findings/summary.md"
for Target in "${Targets[@]}"; do
  Log="$Findings/$Target.log"
  Status=0
  "build/fuzz/fuzz/$Target" "$Corpus/$Target" -max_total_time="$Seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len="${MaxLen[$Target]}" -print_final_stats=1 \
    -artifact_prefix="$Findings/$Target-" > "$Log" 2>&1 || Status=$?
  Stat() { grep -oE "$1 *[0-9]+" "$Log" | tail -1 | grep -oE '[0-9]+$' || echo 0; }
  Found=0
  if [ "$Status" -ne 0 ]; then
    Found=1
    Failed=1
    echo "FINDING in $Target (exit $Status); see $Log" >&2
    grep -A20 -E 'ERROR|check failed|deadly signal|timeout' "$Log" | head -40 >&2 || true
  fi
  printf '| %s | %s | %s | %s | %s | %s | %s |\n' "$Target" "$Seconds" \
    "$(Stat 'stat::number_of_executed_units:')" "$(Stat 'stat::average_exec_per_sec:')" \
    "$(Stat 'cov:')" "$(Stat 'ft:')" "$Found" >> "$Findings/summary.md"
done
cat "$Findings/summary.md"
exit "$Failed"
