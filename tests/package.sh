#!/usr/bin/env bash
# Checks the packages scripts/package made in dist/: what they hold (programs,
# docs, licence and notices, man pages, firmware images, desktop entry; no
# build paths), the Debian package's declared dependencies, that lintian finds
# no error and no warning in it, and, unpacked, that the program in each runs: the
# missing-port case end to end (message, window, Escape, exit code 0), the zip's
# under Wine. With --installed, only the installed program (/usr/bin/rangescan),
# the same way: scripts/test runs that on CI, as the test user, once it has
# installed the Debian package for real with apt-get (and removes it after).
#   tests/package.sh DISPLAY [--installed]   (an X server it starts on DISPLAY)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD display=${1:-:94}
deb=$(ls dist/rangescan_*.deb 2>/dev/null | head -n 1)
zip=$(ls dist/rangescan-*-windows-x64.zip 2>/dev/null | head -n 1)
version=$(sed -n 's/^project(rangescan VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d /tmp/rangescan-package-XXXXXX)
passed=0 failed=0
check() { # check WHAT COMMAND...
    local what=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        passed=$((passed + 1))
        echo "ok   $what"
    else
        failed=$((failed + 1))
        echo "FAIL $what"
        sed 's/^/     /' "$work/out" | tail -n 30
    fi
}
tests/xvfb.sh start "$display" "$work/xvfb.pid" || exit 1
cleanup() {
    tests/xvfb.sh stop "$display" "$work/xvfb.pid"
    rm -rf "$work"
}
trap cleanup EXIT

# The missing-port case of the fault matrix, with the program given: $1 the
# native program, or "wine" and $2 the Windows program.
missing_port() {
    local env=(DISPLAY="$display" RANGESCAN_FIGURES=/dev/null)
    if [ "$1" = wine ]; then
        env+=(WINEPREFIX="$root/build/windows/wineprefix" RANGESCAN_WINE_PROGRAM="$2"
            RANGESCAN_WINE_RUN="$root/tests/wine/run.sh"
            RANGESCAN_COM6_LINK="$root/build/windows/wineprefix/dosdevices/com6")
    else
        env+=(RANGESCAN_PROGRAM="$1")
    fi
    env "${env[@]}" build/native/tests/test_faults --gtest_filter='Faults/Escape.*/missing' |
        tee /dev/stderr | grep -q '^\[  PASSED  \] 1 test'
}

contains() { grep -qxF "$1" "$work/list"; }

if [ "${2:-}" = --installed ]; then
    check "installed rangescan: missing port, window, Escape, exit 0" missing_port /usr/bin/rangescan
    echo "package: $passed passed, $failed failed"
    [ "$failed" = 0 ]
    exit
fi

# The Debian package.
check "a Debian package in dist/" test -f "$deb"
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||' >"$work/list"
for f in /usr/bin/rangescan /usr/bin/rangescan-sim /usr/bin/rangescan-board /usr/bin/rangescan-probe \
    /usr/bin/rangescan-capture \
    /usr/share/applications/rangescan.desktop /usr/share/doc/rangescan/README.md \
    /usr/share/doc/rangescan/docs/scanner.md /usr/share/rangescan/firmware/scanner.hex \
    /usr/lib/rangescan/firmware/scanner.elf /usr/share/doc/rangescan/copyright \
    /usr/share/doc/rangescan/changelog.gz /usr/share/doc/rangescan/THIRD-PARTY-NOTICES.md \
    /usr/share/doc/rangescan/firmware-source/firmware/scanner/scanner.ino \
    /usr/share/icons/hicolor/scalable/apps/rangescan.svg /usr/share/icons/hicolor/48x48/apps/rangescan.png \
    /usr/share/metainfo/org.example.rangescan.metainfo.xml /usr/lib/udev/rules.d/60-rangescan.rules; do
    check "deb holds $f" contains "$f"
done
for p in rangescan rangescan-sim rangescan-board rangescan-probe rangescan-capture; do
    check "deb holds the man page of $p" contains "/usr/share/man/man1/$p.1.gz"
done
# Debian's own checker: no error, no warning; every override says why.
lintian_clean() {
    lintian --pedantic --fail-on error,warning "$deb" 2>&1 | grep -v 'root privileges'
    return "${PIPESTATUS[0]}"
}
check "lintian: no error, no warning" lintian_clean
# With its info tags too: none for hardening, the icon or unneeded sections.
lintian_info_clean() {
    lintian --display-info "$deb" 2>&1 | grep -v 'root privileges' | tee "$work/lintian-info"
    ! grep -E 'hardening|icon|unneeded-section' "$work/lintian-info"
}
check "lintian --display-info: no hardening, icon or unneeded-section tag" lintian_info_clean
check "every lintian override follows a comment giving its reason" awk \
    '/^rangescan:/ && prev !~ /^#/ { bad = 1 } { prev = $0 } END { exit bad }' packaging/lintian-overrides
for p in rangescan-sim rangescan-board rangescan-probe rangescan-capture; do
    check "build/native/$p --version" sh -c "build/native/$p --version | grep -qx '$p $version'"
done
check "deb holds nothing outside /usr" sh -c "! grep -v '^/usr' '$work/list' | grep -v '^\$'"
check "deb version is the project's ($version)" test "$(dpkg-deb -f "$deb" Version)" = "$version"
dpkg-deb -f "$deb" Depends >"$work/depends"
for p in libglfw3 libgl1 libstdc++6 libc6; do
    check "deb depends on $p" grep -qw "$p" "$work/depends"
done
mkdir "$work/deb"
dpkg-deb -x "$deb" "$work/deb"
check "no build path in the deb's files" sh -c "! grep -rlF '$root/build' '$work/deb'"
check "deb's desktop entry starts the program" grep -qx 'Exec=rangescan' \
    "$work/deb/usr/share/applications/rangescan.desktop"
check "desktop-file-validate: the desktop entry" \
    desktop-file-validate "$work/deb/usr/share/applications/rangescan.desktop"
check "appstreamcli validate: the metainfo" \
    appstreamcli validate --no-net "$work/deb/usr/share/metainfo/org.example.rangescan.metainfo.xml"
# Control-flow protection (CET) is left out: Debian 12's dpkg-buildflags does
# not ask for it, and its C library's start files carry no CET note, without
# which no program linked here can be marked for it.
for p in rangescan rangescan-sim rangescan-board rangescan-probe rangescan-capture; do
    check "hardening-check: deb's $p" hardening-check --nocfprotection "$work/deb/usr/bin/$p"
done
# The board emulator runs the firmware beside it when given none: the
# package's, or its build tree's.
board_runs() {
    "$1" --link "$work/com6" >"$work/board.out" 2>&1 &
    local pid=$! ok=1
    for _ in $(seq 50); do grep -q 'linked at' "$work/board.out" && ok=0 && break; sleep 0.1; done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    cat "$work/board.out"
    return $ok
}
check "deb's rangescan-board runs the package's firmware" board_runs "$work/deb/usr/bin/rangescan-board"
check "the build tree's rangescan-board runs its firmware" board_runs build/native/rangescan-board
check "deb's rangescan, unpacked: missing port, window, Escape, exit 0" missing_port \
    "$work/deb/usr/bin/rangescan"

# The Windows zip.
check "a Windows zip in dist/" test -f "$zip"
unzip -Z1 "$zip" | sed 's|^[^/]*/||' >"$work/list"
for f in rangescan.exe rangescan-probe.exe rangescan-capture.exe README.md LICENSE THIRD-PARTY-NOTICES.md \
    licenses/mingw-w64.txt licenses/stb.txt \
    licenses/avr-libc.txt licenses/arduino-core-avr.txt docs/scanner.md docs/using.md \
    firmware/scanner.hex firmware/scanner/scanner.ino firmware/scanner/config.h; do
    check "zip holds $f" contains "$f"
done
mkdir "$work/zip"
unzip -q "$zip" -d "$work/zip"
exe=$(find "$work/zip" -name rangescan.exe | head -n 1)
# Each .exe carries the icon and its version information, the project's version.
resources() {
    wrestool -l "$1" | tee "$work/resources" && grep -q -- '--type=14' "$work/resources" &&
        wrestool -x --raw --type=16 "$1" | tr -d '\000' | tee /dev/stderr |
        grep -aq "ProductVersion$version"
}
for e in rangescan rangescan-probe rangescan-capture; do
    check "zip's $e.exe has an icon and version $version" resources "$(dirname "$exe")/$e.exe"
done
check "zip's rangescan.exe needs no DLL beside it" sh -c \
    "! x86_64-w64-mingw32-objdump -p '$exe' | grep 'DLL Name' | grep -qiv -e kernel32 -e user32 -e gdi32 -e opengl32 -e msvcrt -e api-ms-win"
check "zip's rangescan.exe under Wine: missing port, window, Escape, exit 0" missing_port wine "$exe"
# The zip's test host under Wine: it passes the simulated scanner and fails a
# silent one and one that answers garbage.
probe_wine() {
    env WINEPREFIX="$root/build/windows/wineprefix" RANGESCAN_WINE_RUN="$root/tests/wine/run.sh" \
        RANGESCAN_COM6_LINK="$root/build/windows/wineprefix/dosdevices/com6" \
        RANGESCAN_WINE_PROBE="$(dirname "$exe")/rangescan-probe.exe" \
        build/native/tests/test_probe --gtest_filter='Probe.PassesAGood*' |
        tee /dev/stderr | grep -q '^\[  PASSED  \] 1 test'
}
check "zip's rangescan-probe.exe COM6 under Wine: a good scanner passes, a silent one fails" probe_wine
# The zip's sketch folder, built as the board's IDE builds it for an Uno
# (Debian's core wants DECIMAL_DIG defined), to the firmware preset's size.
flash_size() { avr-size "$1" | awk 'NR == 2 { print $1 + $2 }'; }
sketch_builds() {
    local sketch out=$work/sketch-build
    sketch=$(find "$work/zip" -path '*/firmware/scanner/scanner.ino' | head -n 1)
    mkdir -p "$out"
    arduino-builder -compile -hardware /usr/share/arduino/hardware \
        -hardware /usr/share/arduino-builder -tools /usr/bin -fqbn arduino:avr:uno \
        -prefs 'compiler.cpp.extra_flags=-DDECIMAL_DIG=17' -build-path "$out" "$sketch" &&
        echo "IDE build: $(flash_size "$out/scanner.ino.elf") bytes," \
            "preset: $(flash_size build/firmware/firmware/scanner.elf) bytes" &&
        [ "$(flash_size "$out/scanner.ino.elf")" = "$(flash_size build/firmware/firmware/scanner.elf)" ]
}
check "zip's sketch builds as the board's IDE builds it, to the preset's size" sketch_builds

# The Windows installer under Wine, in the tests' prefix: installed silently
# into a folder of its own, its test host run from there, then uninstalled,
# leaving neither the folder nor the Start menu entry.
installer=$(ls dist/rangescan-*-windows-x64.exe 2>/dev/null | head -n 1)
check "a Windows installer in dist/" test -f "$installer"
uninstall_keys() { # the programs Windows lists as installed
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 2>/dev/null | tr -d '\r'
}
install_uninstall() {
    local prefix=$root/build/windows/wineprefix
    local dir=$prefix/drive_c/rangescan-test menu
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    tests/wine/run.sh --init
    wine "$installer" /S '/D=C:\rangescan-test' && wineserver -w || return 1
    ls "$dir"
    wine "$dir/rangescan-probe.exe" --version | tr -d '\r' | grep -qx "rangescan-probe $version" || return 1
    wine "$dir/rangescan-capture.exe" --version | tr -d '\r' | grep -qx "rangescan-capture $version" || return 1
    menu=$(find "$prefix/drive_c" -path '*Start Menu*' -name 'rangescan*.lnk')
    echo "start menu: $menu"
    [ -n "$menu" ] && [ -f "$dir/firmware/scanner.hex" ] && [ -f "$dir/LICENSE" ] || return 1
    uninstall_keys | grep rangescan || return 1
    wine "$dir/Uninstall.exe" /S && wineserver -w
    sleep 1
    wineserver -w
    [ ! -e "$dir" ] && [ -z "$(find "$prefix/drive_c" -path '*Start Menu*' -name 'rangescan*')" ] &&
        ! uninstall_keys | grep rangescan
}
check "the installer installs, runs and uninstalls cleanly under Wine" install_uninstall

echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
