#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time (seconds per
# target, default 60), seeded from examples/ and generated escape sequences.
# Fails on any finding; the input that found it is left in build/fuzz-findings.
# Usage: scripts/fuzz.sh [seconds per target] [targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
Seconds=${1:-60}
shift || true
Targets=("$@")
[ ${#Targets[@]} -gt 0 ] || Targets=(fuzz_params fuzz_walk fuzz_png fuzz_conversion)
scripts/setup.sh clang libclang-rt-14-dev python3
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null

Corpus=build/fuzz-corpus
Findings=build/fuzz-findings
mkdir -p "$Findings"
python3 - "$Corpus" examples <<'PY'
import os, random, sys
corpus, examples = sys.argv[1], sys.argv[2]
random.seed(437)
art = [open(os.path.join(examples, f), 'rb').read() for f in sorted(os.listdir(examples)) if f.endswith('.ans')]
def sequences(n):
    out = []
    finals = 'ABCDHfJKmsuhlE'
    for _ in range(n):
        fields = [random.choice(['', '0', '1', '31', '44', '107', '2147483647', '2147483648', '-5', '+3',
                                 '$29', '&37', '%11110', ' 31', '"31"', '"3;1"', '0x10', '\x00'])
                  for _ in range(random.randint(0, 4))]
        out.append(('\x1b[' + ';'.join(fields) + random.choice(finals)).encode('latin-1'))
    return out
seeds = {
    'fuzz_conversion': art + [b''.join(sequences(20)) + b'text\r\n' for _ in range(20)],
    'fuzz_walk': art + [b''.join(sequences(40)) + bytes(range(256)) for _ in range(40)],
    'fuzz_png': [bytes([random.randrange(256) for _ in range(random.randint(2, 200))]) for _ in range(20)],
    'fuzz_params': [s[2:-1] for s in sequences(200)],
}
for target, items in seeds.items():
    folder = os.path.join(corpus, target)
    os.makedirs(folder, exist_ok=True)
    for i, item in enumerate(items):
        with open(os.path.join(folder, 'seed-%03d' % i), 'wb') as f:
            f.write(item)
PY

declare -A MaxLen=([fuzz_params]=600 [fuzz_walk]=65536 [fuzz_png]=4096 [fuzz_conversion]=16384)
Failed=0
printf '| target | seconds | executions | exec/s | coverage (cov) | features (ft) | findings |\n|---|---:|---:|---:|---:|---:|---:|\n' > "$Findings/summary.md"
for Target in "${Targets[@]}"; do
  Log="$Findings/$Target.log"
  Status=0
  "build/fuzz/fuzz/$Target" "$Corpus/$Target" -max_total_time="$Seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len="${MaxLen[$Target]}" -print_final_stats=1 \
    -artifact_prefix="$Findings/$Target-" > "$Log" 2>&1 || Status=$?
  Runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$Log" | grep -oE '[0-9]+$' || echo 0)
  Speed=$(grep -oE 'stat::average_exec_per_sec: *[0-9]+' "$Log" | grep -oE '[0-9]+$' || echo 0)
  Cov=$(grep -oE 'cov: [0-9]+' "$Log" | tail -1 | grep -oE '[0-9]+' || echo 0)
  Ft=$(grep -oE 'ft: [0-9]+' "$Log" | tail -1 | grep -oE '[0-9]+' || echo 0)
  Found=0
  if [ "$Status" -ne 0 ]; then
    Found=1
    Failed=1
    echo "FINDING in $Target (exit $Status); see $Log" >&2
    grep -A20 -E 'ERROR|check failed|deadly signal|timeout' "$Log" | head -40 >&2 || true
  fi
  printf '| %s | %s | %s | %s | %s | %s | %s |\n' "$Target" "$Seconds" "$Runs" "$Speed" "$Cov" "$Ft" "$Found" >> "$Findings/summary.md"
done
cat "$Findings/summary.md"
exit "$Failed"
