#!/usr/bin/env bash
# Builds nimbus-scripts with all its tests and runs them against the local
# Firebird server, which setup.sh prepares first. Run as root.
#   scripts/test.sh            build/ (with the benchmarks)
#   scripts/test.sh --release  build-release/, the optimised build a packager
#                              makes (with the benchmarks)
#   scripts/test.sh --asan     build-asan/, under AddressSanitizer and UBSan
# NIMBUS_BUILD_DIR names another build folder; NIMBUS_JOBS limits ninja's jobs.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

build=${NIMBUS_BUILD_DIR:-build}
options=(-DNIMBUS_SANITIZE=OFF -DNIMBUS_BENCH=ON)
case ${1:-} in
  "") ;;
  --release)
    build=${NIMBUS_BUILD_DIR:-build-release}
    options=(-DCMAKE_BUILD_TYPE=Release -DNIMBUS_SANITIZE=OFF -DNIMBUS_BENCH=ON)
    ;;
  --asan)
    build=${NIMBUS_BUILD_DIR:-build-asan}
    # The benchmarks are not run here; leaving them out keeps the slow
    # sanitized build short.
    options=(-DNIMBUS_SANITIZE=ON -DNIMBUS_BENCH=OFF)
    ;;
  *)
    echo "usage: $0 [--release | --asan]" >&2
    exit 2
    ;;
esac

"$root/scripts/setup.sh"

cmake -S "$root" -B "$root/$build" -G Ninja "${options[@]}"
ninja -C "$root/$build" ${NIMBUS_JOBS:+-j "$NIMBUS_JOBS"}

export QT_QPA_PLATFORM=offscreen
export NIMBUS_TEST_PASSWORD=${NIMBUS_TEST_PASSWORD:-ZEPHYRINE}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
# A hung test (a dialog waiting for a key, say) fails on its own instead of
# holding the whole run.
ctest --test-dir "$root/$build" --output-on-failure --no-tests=error --timeout 300
