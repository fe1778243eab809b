#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing the watchdog needs,
# and with --bench what bench/run.sh needs besides. Runs as root; asks apt only when
# something is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config valgrind
  libxcb1-dev          # the X11 presence test and the companion
  libgtest-dev         # unit and end-to-end tests
  libbenchmark-dev     # the benchmarks, built with the tests
  xvfb                 # a headless X server for the tests and the demo
  twm openbox          # reparenting window managers for the presence tests
  clang libclang-rt-14-dev  # libFuzzer, for the fuzz test of the texts
  # The Debian package and what checks it and its manual page and examples.
  dpkg-dev lintian groff-base desktop-file-utils systemd
  # The Windows build: cross-compiled, GoogleTest from Debian's sources, run under Wine.
  g++-mingw-w64-x86-64-posix googletest wine wine64
)
if [ "${1:-}" = "--bench" ]; then
  # The plot, the report, and the supervisors the footprint is compared with.
  packages+=(gnuplot-nox python3 supervisor runit)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
