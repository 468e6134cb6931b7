#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and runs every test (offscreen: no display needed). With --sanitize
# (first argument): builds into build-sanitize/ with AddressSanitizer and UBSan and runs the unit, integration
# and GUI tests there. With --windows: cross-builds for Windows into build-windows/ and runs the tests, the
# programs end to end and the zip under Wine (scripts/windows.sh). Further arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")"
sanitize=false
windows=false
if [ "${1:-}" = "--sanitize" ]; then
    sanitize=true
    shift
elif [ "${1:-}" = "--windows" ]; then
    windows=true
    shift
fi
source scripts/setup.sh
if $windows; then
    source scripts/windows.sh
fi
vantrel_install_missing "${VANTREL_TEST_PACKAGES[@]}"
export QT_QPA_PLATFORM=offscreen
if $windows; then
    vantrel_windows "$@"
    exit 0
fi
if ! $sanitize; then
    vantrel_build
    echo "vantrel: running the tests"
    ctest --test-dir build --output-on-failure --parallel "$(nproc)" "$@"
    exit 0
fi
vantrel_build build-sanitize -DVANTREL_SANITIZE=ON
echo "vantrel: running the tests under AddressSanitizer and UBSan"
export UBSAN_OPTIONS="print_stacktrace=1:${UBSAN_OPTIONS:-}"
ctest --test-dir build-sanitize --output-on-failure --parallel "$(nproc)" -L 'unit|integration|gui' "$@"
