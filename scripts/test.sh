#!/usr/bin/env bash
# Installs what is missing, builds the watchdog and runs every test: on Linux in the
# ordinary build and under AddressSanitizer and UBSan, the texts under libFuzzer for
# a bounded time, then the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-dependencies.sh

jobs=$(nproc)
for preset in linux asan fuzz; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset" --parallel "$jobs"
  ctest --preset "$preset" --parallel "$jobs"
done

echo "== windows"
cmake --preset windows
cmake --build --preset windows --parallel "$jobs"
bash scripts/wine-session.sh ctest --preset windows --parallel "$jobs"
