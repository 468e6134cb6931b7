#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and runs every test (offscreen: no display needed). With --sanitize
# (first argument): builds into build-sanitize/ with AddressSanitizer and UBSan and runs the unit, integration
# and GUI tests there. Further arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")"
sanitize=false
if [ "${1:-}" = "--sanitize" ]; then
    sanitize=true
    shift
fi
source scripts/setup.sh
vantrel_install_missing "${VANTREL_TEST_PACKAGES[@]}"
export QT_QPA_PLATFORM=offscreen
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
