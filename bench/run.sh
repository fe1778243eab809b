#!/usr/bin/env bash
# Runs every benchmark and the footprint script, and writes docs/performance.md and
# its plot, docs/presence.png, from what they measured. Takes about a quarter of an
# hour, most of it the footprint's ten minutes of failing launches.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-dependencies.sh --bench
cmake --preset bench
cmake --build --preset bench --parallel "$(nproc)"

build=build/bench
results=$PWD/$build/results
rm -rf "$results"
mkdir -p "$results"

source scripts/xvfb.sh
trap end_xvfbs EXIT
start_xvfb
# Five runs of each, reported as medians.
for bench in presence_bench cycle_bench; do
  DISPLAY=$xvfb_display "$build/$bench" --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$results/$bench.json" --benchmark_out_format=json
done
end_xvfbs

bash bench/footprint.sh "$build" "$results"

mkdir -p docs
python3 bench/report.py "$results" docs/performance.md
gnuplot -e "data='$results/presence.dat'; output='docs/presence.png'" bench/presence.gp
echo "Wrote docs/performance.md and docs/presence.png."
