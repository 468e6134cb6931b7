#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and opens the terminal. ./run.sh --demo adds the simulated device.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
vantrel_install_missing
vantrel_build
echo "vantrel: starting build/bin/vantrel-terminal $*"
exec build/bin/vantrel-terminal "$@"
