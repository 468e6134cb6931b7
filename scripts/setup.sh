#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the build is missing (Debian 12 packages, quietly, only when absent), then configures
# and builds into build/ (or another folder). Sourced by run.sh and test.sh.
set -euo pipefail

VANTREL_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libqt6svg6 libgl-dev fonts-liberation)
# What the tests alone need, so that ./run.sh does not wait for it: lintian checks the Debian package, tshark reads
# back the wire monitor's pcapng, ansible-core runs the playbook of contrib/ansible against simulated devices.
VANTREL_TEST_PACKAGES=(lintian tshark ansible-core)

# vantrel_install_missing [packages...]: the build's packages and those given, each only when absent.
vantrel_install_missing() {
    local missing=()
    for p in "${VANTREL_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "vantrel: installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    local log
    log=$(mktemp)
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" \
        >"$log" 2>&1 || { cat "$log"; rm -f "$log"; exit 1; }
    rm -f "$log"
}

# vantrel_build [folder [cmake options...]]: configures and builds into the folder, build/ by default.
vantrel_build() {
    local dir="${1:-build}"
    [ $# -gt 0 ] && shift
    echo "vantrel: building into $dir/ (log in $dir/build.log)"
    mkdir -p "$dir"
    # The full output only when something fails: a build that works has nothing to say.
    { cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" &&
        cmake --build "$dir" --parallel "$(nproc)"; } >"$dir/build.log" 2>&1 || { cat "$dir/build.log"; exit 1; }
}
