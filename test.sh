#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and runs every test (offscreen: no display needed).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
vantrel_install_missing
vantrel_build
echo "vantrel: running the tests"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --parallel "$(nproc)" "$@"
