#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows build, sourced by test.sh after setup.sh: MinGW-w64 against the Qt kit (qt6.4.2-mingw64.tar.xz and
# mingw64.cmake in shared/toolchains beside this clone or a folder above it, or in the folder VANTREL_TOOLCHAINS
# names), into build-windows/; then, under Wine, the tests, the programs end to end against the Linux simulator, and
# the zip unpacked into an empty folder.

VANTREL_PACKAGES+=(g++-mingw-w64-x86-64-posix wine64 fonts-wine xz-utils)
VANTREL_KIT=qt6.4.2-mingw64.tar.xz
# The slowest step here is a transfer under Wine; nothing waits this long unless something is broken.
VANTREL_WINDOWS_PATIENCE_S=300

vantrel_toolchains() {
    if [ -n "${VANTREL_TOOLCHAINS:-}" ]; then
        echo "$VANTREL_TOOLCHAINS"
        return
    fi
    local dir=$PWD
    while [ "$dir" != / ]; do
        dir=$(dirname "$dir")
        if [ -f "$dir/shared/toolchains/$VANTREL_KIT" ]; then
            echo "$dir/shared/toolchains"
            return
        fi
    done
    echo "vantrel: the Qt kit for Windows ($VANTREL_KIT, mingw64.cmake) is not in shared/toolchains beside this" \
        "clone or above it: set VANTREL_TOOLCHAINS to its folder" >&2
    return 1
}

# The kit is unpacked once into the build tree, and again when the archive changes.
vantrel_windows_build() {
    local toolchains
    toolchains=$(vantrel_toolchains)
    mkdir -p build-windows
    local stamp=build-windows/qt6-mingw/.unpacked
    if [ ! -f $stamp ] || [ "$toolchains/$VANTREL_KIT" -nt $stamp ]; then
        rm -rf build-windows/qt6-mingw
        tar -xJf "$toolchains/$VANTREL_KIT" -C build-windows
        touch $stamp
    fi
    # Optimised, without debug information: the shipped build, and the quickest to link.
    vantrel_build build-windows -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchains/mingw64.cmake" \
        -DCMAKE_PREFIX_PATH="$PWD/build-windows/qt6-mingw" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
}

# A Wine prefix of the build tree's own, made once (its first start is slow), and one Wine server for the whole run.
vantrel_wine_start() {
    export WINEPREFIX=$PWD/build-windows/wineprefix WINEDEBUG=-all
    local wine
    wine=$(sed -n 's/^VANTREL_WINE:FILEPATH=//p' build-windows/CMakeCache.txt)
    VANTREL_WINESERVER=$(dirname "$wine")/wineserver
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "vantrel: making the Wine prefix build-windows/wineprefix (once per build tree)"
        "$wine" wineboot -i >build-windows/wineboot.log 2>&1 || { cat build-windows/wineboot.log; exit 1; }
    fi
    "$VANTREL_WINESERVER" -w # the one that made the prefix ends first
    "$VANTREL_WINESERVER" -p >build-windows/wineserver.log 2>&1
}

# Background processes of the run, ended with it.
VANTREL_CHILDREN=()
vantrel_windows_cleanup() {
    local pid
    for pid in "${VANTREL_CHILDREN[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    [ -z "${VANTREL_WINESERVER:-}" ] || "$VANTREL_WINESERVER" -k >/dev/null 2>&1 || true
}

# vantrel_wait_for FILE PATTERN: until FILE holds a line matching PATTERN (grep -E); fails after the patience.
vantrel_wait_for() {
    local deadline=$((SECONDS + VANTREL_WINDOWS_PATIENCE_S))
    until grep -Eq -- "$2" "$1" 2>/dev/null; do
        if [ $SECONDS -ge $deadline ]; then
            echo "vantrel: $1 never showed \"$2\"" >&2
            cat "$1" >&2 || true
            return 1
        fi
        sleep 0.1
    done
}

vantrel_fail() {
    echo "vantrel: FAILED: $*" >&2
    exit 1
}

vantrel_windows_tests() {
    local log=build-windows/tests.log status=0
    echo "vantrel: running the tests under Wine (their output in $log)"
    ctest --test-dir build-windows --parallel "$(nproc)" -V "$@" >"$log" 2>&1 || status=$?
    grep -E '^ *[0-9]+/[0-9]+ Test +#' "$log" || true
    # QtTest's totals over all the test programs: the rows that ran, and those skipped with the reason.
    awk '/^[0-9]+: Totals:/ { passed += $3; failed += $5; skipped += $7 }
         END { printf "vantrel: under Wine %d test rows ran (%d passed, %d failed), %d skipped:\n",
                      passed + failed, passed, failed, skipped }' "$log"
    sed -n 's/^[0-9]*: SKIP   : /    /p' "$log"
    if [ $status -ne 0 ]; then
        local failed
        failed=$(sed -n 's/.*Test *#\([0-9]*\):.*\*\*\*.*/\1/p' "$log" | paste -sd '|')
        grep -E "^($failed): " "$log" | grep -Ev '^[0-9]+: PASS ' || true
        vantrel_fail "tests under Wine"
    fi
}

# The programs end to end, as a user on Windows runs them: vantrel.exe against the Linux simulator over UDP (Wine's
# sockets are the host's), and on COM3 linked to the simulator's pseudo-terminal.
vantrel_windows_end_to_end() {
    local dir=$PWD/build-windows/end-to-end run=$PWD/build-windows/wine-run exe=$PWD/build-windows/bin/vantrel.exe
    local sim=$PWD/build/bin/vantrel-device-sim linux=$PWD/build/bin/vantrel
    echo "vantrel: vantrel.exe under Wine against the simulated device (files in build-windows/end-to-end)"
    rm -rf "$dir"
    mkdir -p "$dir/disk"
    cd "$dir" || exit 1
    "$sim" --port 0 --disk disk --new-delay-ms 600000 -v >udp.log 2>&1 &
    VANTREL_CHILDREN+=("$!")
    vantrel_wait_for udp.log 'listening on UDP'
    local host
    host=127.0.0.1:$(sed -n 's/.*listening on UDP 127\.0\.0\.1:\([0-9]*\).*/\1/p' udp.log)
    head -c 30000 /dev/urandom >sample.bin
    printf '10 PRINT 1\r\n20 GOTO 10\r\n30 END\r\n' >prog.bas
    local vantrel=("$run" "$exe" --host "$host" --timeout 60)
    "${vantrel[@]}" ver >ver.out || vantrel_fail "vantrel.exe ver"
    printf 'VER 3.1 SIM\r\n' | cmp -s - ver.out || vantrel_fail "vantrel.exe ver printed: $(cat ver.out)"
    "${vantrel[@]}" put --verify sample.bin SAMPLE.BIN 2>put.err || vantrel_fail "vantrel.exe put --verify"
    cmp -s sample.bin disk/SAMPLE.BIN || vantrel_fail "the device's copy differs"
    "${vantrel[@]}" get SAMPLE.BIN copy.bin 2>get.err || vantrel_fail "vantrel.exe get"
    cmp -s sample.bin copy.bin || vantrel_fail "the file read back differs"
    "${vantrel[@]}" download prog.bas 2>download.err || vantrel_fail "vantrel.exe download"
    "${vantrel[@]}" list back.bas 2>list.err || vantrel_fail "vantrel.exe list"
    cmp -s prog.bas back.bas || vantrel_fail "the program listed back differs"
    echo "vantrel:   ver, put --verify, get, download and list: done, the files identical"

    # Ctrl-C while NEW waits for the device (which answers only after ten minutes): exit 130, as on Linux.
    "${vantrel[@]}" new >new.out 2>&1 &
    local new=$!
    vantrel_wait_for udp.log '"NEW'
    # Wine turns SIGINT to the program's process into Ctrl-C (the process wine-run started; a background job of this
    # script ignores SIGINT itself).
    kill -INT "$(ps -o pid= --ppid $new)"
    local status=0
    wait $new || status=$?
    [ $status -eq 130 ] || vantrel_fail "vantrel.exe new, interrupted, ended with $status: $(cat new.out)"
    echo "vantrel:   Ctrl-C during new: exit 130"

    # COM3 is the simulator's pseudo-terminal. The frame the Linux build sends is the reference.
    "$sim" --pty -v >pty.out 2>pty.log &
    VANTREL_CHILDREN+=("$!")
    vantrel_wait_for pty.out '^/'
    local pty
    pty=$(head -n 1 pty.out)
    "$linux" --serial "$pty" --rtu 16 --timeout 60 ver >linux.out || vantrel_fail "the Linux vantrel over $pty"
    ln -sfn "$pty" "$WINEPREFIX/dosdevices/com3"
    status=0
    "$run" "$exe" --serial COM3 --rtu 16 --timeout 5 ver >com3.out 2>com3.err || status=$?
    if [ $status -eq 0 ]; then
        cmp -s linux.out com3.out || vantrel_fail "vantrel.exe on COM3 printed: $(cat com3.out)"
        echo "vantrel:   --serial COM3 --rtu 16 ver: done"
    elif [ $status -eq 2 ]; then
        # Nothing came back from the device, so vantrel calls it unreachable. What Wine cannot do (README,
        # "Windows"): read what the device sends back to COM3. What it can: carry the terminal's frame to the device,
        # byte for byte as the Linux build sends it.
        local received frames
        received=$(grep -c '^<- pty' pty.log || true)
        frames=$(grep '^<- pty' pty.log | sort -u | wc -l)
        if [ "$received" != 2 ] || [ "$frames" != 1 ]; then
            vantrel_fail "the device did not receive from COM3 the frame the Linux build sends: $(cat pty.log)"
        fi
        echo "vantrel:   --serial COM3 --rtu 16 ver: the frame reached the device as the Linux build sends it;" \
            "Wine read nothing back from COM3 (a pseudo-terminal), as the README says"
    else
        vantrel_fail "vantrel.exe on COM3 ended with $status: $(cat com3.err)"
    fi
    rm -f "$WINEPREFIX/dosdevices/com3"
    cd - >/dev/null || exit 1
}

# The zip, unpacked into an empty folder, runs from there with nothing else to find its DLLs and plugins in.
vantrel_windows_zip() {
    local run=$PWD/build-windows/wine-run dir=$PWD/build-windows/unpacked
    echo "vantrel: the zip (build-windows/vantrel-*-win64.zip), unpacked into an empty folder and run"
    cmake --build build-windows --target package >build-windows/package.log 2>&1 ||
        { cat build-windows/package.log; vantrel_fail "cmake --build build-windows --target package"; }
    local zip
    zip=$(ls build-windows/vantrel-*-win64.zip)
    rm -rf "$dir"
    mkdir -p "$dir/work"
    (cd "$dir" && cmake -E tar xf "$OLDPWD/$zip")
    local folder
    folder=$(ls -d "$dir"/vantrel-*-win64)
    WINEPATH='' "$run" "$folder/vantrel.exe" --version >"$dir/version.out" ||
        vantrel_fail "vantrel.exe --version from the zip"
    grep -q '^vantrel [0-9]' "$dir/version.out" ||
        vantrel_fail "vantrel.exe --version printed $(cat "$dir/version.out")"
    # The window, offscreen with the simulated device: it is up once its start has written the log.
    WINEPATH='' QT_QPA_PLATFORM=offscreen "$run" "$folder/vantrel-terminal.exe" --demo --workdir "$dir/work" \
        >"$dir/terminal.out" 2>&1 &
    local terminal=$!
    VANTREL_CHILDREN+=("$terminal")
    vantrel_wait_for "$dir/work/Terminal.log" 'START Vantrel' ||
        vantrel_fail "the window from the zip: $(cat "$dir/terminal.out")"
    kill -0 $terminal 2>/dev/null || vantrel_fail "the window from the zip ended: $(cat "$dir/terminal.out")"
    kill $terminal
    echo "vantrel:   $(basename "$zip"): vantrel.exe --version and the window run from the unpacked folder"
}

vantrel_windows() {
    trap vantrel_windows_cleanup EXIT
    vantrel_windows_build
    # The simulator the programs talk to is the Linux build's.
    if [ ! -x build/bin/vantrel-device-sim ] || [ ! -x build/bin/vantrel ]; then
        vantrel_build
    fi
    vantrel_wine_start
    vantrel_windows_tests "$@"
    vantrel_windows_end_to_end
    vantrel_windows_zip
}
