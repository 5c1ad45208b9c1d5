#!/usr/bin/env bash
# Builds the Debian package from a release build of its own, installs it with apt as a user would,
# checks what it installed and that the installed programs run, and removes it again. The machine
# is left with the packages it had before; any failure ends the script non-zero.
#   tools/package-test.sh [BUILD_DIR]      (default build-pkg/; needs root or sudo)
# Environment: VANTELO_JOBS (default 2).
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${1:-$ROOT/build-pkg}
APP_ID=com.korvane.Vantelo
apt_get() {
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@"
}
say() { echo "package-test: $*"; }
die() {
    echo "package-test: FAILED: $*" >&2
    exit 1
}
is_installed() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || true)" = installed ]
}

for tool in cmake cpack dpkg-deb dpkg-shlibdeps apt-get desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || die "$tool is missing"
done
# Installing over an existing copy and removing it afterwards would not leave the machine as found.
if is_installed vantelo; then
    die "a vantelo package is already installed; remove it first"
fi
[ -e /usr/bin/vantelo ] && die "/usr/bin/vantelo exists outside the package system"

# --- build and package ---------------------------------------------------------------------------
compiler_launcher launcher
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" >/dev/null
cmake --build "$BUILD" --target vantelo vantelo-sim vantelo-cli vantelo_udev_rule_file -j "$JOBS" >/dev/null
rm -f "$BUILD"/vantelo_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
debs=("$BUILD"/vantelo_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then die "cpack made no single vantelo_*.deb"; fi
DEB=${debs[0]}
say "built $(basename "$DEB")"

version=$(dpkg-deb -f "$DEB" Version)
depends=$(dpkg-deb -f "$DEB" Depends)
say "Depends: $depends"
# The libraries come from the binaries; a package without them would install and then not start.
for lib in libc6 libstdc++6 libqt5core5a libqt5gui5 libqt5widgets5 libqt5serialport5 \
    libqt5webenginewidgets5; do
    tr ',|' '\n' <<<"$depends" | awk '{ print $1 }' | grep -qxF "$lib" || die "Depends lacks $lib"
done

# --- what the package holds ------------------------------------------------------------------------
expected_files() {
    cat <<EOF
/usr/bin/vantelo
/usr/bin/vantelo-cli
/usr/bin/vantelo-sim
/usr/lib/udev/rules.d/70-vantelo.rules
/usr/share/applications/$APP_ID.desktop
/usr/share/man/man1/vantelo-cli.1
/usr/share/man/man1/vantelo-sim.1
/usr/share/man/man1/vantelo.1
/usr/share/metainfo/$APP_ID.metainfo.xml
EOF
    for size in 16 24 32 48 64 128 256; do
        echo "/usr/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png"
    done
    echo "/usr/share/icons/hicolor/scalable/apps/$APP_ID.svg"
}
packaged=$(dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ { print $NF }' | sed 's|^\./|/|' | sort)
if ! diff <(expected_files | sort) <(echo "$packaged") >&2; then
    die "the package's files differ from the expected list (< expected, > packaged)"
fi

# --- install ---------------------------------------------------------------------------------------
# Only what apt installs for this package may be taken away again; anything else that appears
# meanwhile is someone else's. An "Inst" line with the old version in brackets is an upgrade of a
# package that was there before: it stays (purging it could take systemd or libc with it).
plan=$(apt_get -s install "$(cd "$(dirname "$DEB")" && pwd)/$(basename "$DEB")" 2>/dev/null)
pulled_in=$(awk '$1 == "Inst" && $2 != "vantelo" && $3 !~ /^\[/ { print $2 }' <<<"$plan")
upgraded=$(awk '$1 == "Inst" && $3 ~ /^\[/ { print $2 }' <<<"$plan")
udev_run_existed=0
[ -e /run/udev ] && udev_run_existed=1

cleanup() {
    local status=$?
    set +e
    if is_installed vantelo || [ "$(dpkg-query -W -f='${db:Status-Status}' vantelo 2>/dev/null)" = config-files ]; then
        apt_get purge vantelo >/dev/null
    fi
    # Dependencies that apt brought in for the package go as well.
    if [ -n "$pulled_in" ]; then
        say "removing what the install pulled in: ${pulled_in//$'\n'/ }"
        # shellcheck disable=SC2086
        if ! apt_get purge $pulled_in >/dev/null; then
            echo "package-test: FAILED: could not remove ${pulled_in//$'\n'/ }" >&2
            status=1
        fi
    fi
    if [ -n "$upgraded" ]; then
        say "upgraded for the install and left upgraded: ${upgraded//$'\n'/ }"
    fi
    # udevadm test leaves its database behind on a machine where udev does not run.
    [ "$udev_run_existed" -eq 0 ] && as_root rm -rf /run/udev
    exit "$status"
}
trap cleanup EXIT

# apt needs a path (./ or absolute) to take the argument as a file.
apt_get install "$(cd "$(dirname "$DEB")" && pwd)/$(basename "$DEB")" >/dev/null
is_installed vantelo || die "apt did not install the package"
say "installed $version"

if ! diff <(expected_files | sort) <(dpkg -L vantelo | while read -r f; do [ -d "$f" ] || echo "$f"; done | sort) >&2; then
    die "dpkg's file list differs from the expected list"
fi
for f in $(expected_files); do
    [ -s "$f" ] || die "$f is missing or empty on disk"
done
missing=$(ldd /usr/bin/vantelo /usr/bin/vantelo-sim /usr/bin/vantelo-cli | grep 'not found' || true)
[ -z "$missing" ] || die "unresolved libraries: $missing"

# --- the installed programs run ------------------------------------------------------------------
# --version needs no display; the offscreen platform keeps it from looking for one, and a private
# runtime directory keeps Qt from creating one of its own under /tmp.
runtime=$(mktemp -d)
out=$(XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=offscreen timeout 60 /usr/bin/vantelo --version) ||
    die "vantelo --version failed"
rm -rf "$runtime"
say "vantelo --version: $out"
[[ "$out" == "vantelo $version"* ]] || die "vantelo --version printed '$out', not version $version"

# The command line needs neither a display nor the window's libraries: no platform is set here.
out=$(timeout 30 /usr/bin/vantelo-cli --version) || die "vantelo-cli --version failed"
say "vantelo-cli --version: $out"
[[ "$out" == "vantelo-cli $version"* ]] || die "vantelo-cli --version printed '$out', not version $version"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 30 /usr/bin/vantelo-cli --simulate 7146 info 2>&1) ||
    die "vantelo-cli --simulate 7146 info failed: $out"
grep -qx "model 7146" <<<"$out" || die "vantelo-cli --simulate 7146 info printed no model: $out"
say "vantelo-cli --simulate 7146 info: $(tr '\n' ' ' <<<"$out")"
if ldd /usr/bin/vantelo-cli | grep -qE 'libQt5(Gui|Widgets|WebEngine)'; then
    die "vantelo-cli links a window library"
fi

out=$(timeout 30 /usr/bin/vantelo-sim --help 2>&1) || die "vantelo-sim --help failed"
grep -q "vantelo-sim" <<<"$out" || die "vantelo-sim --help printed no usage: $out"
say "vantelo-sim --help: $(head -n1 <<<"$out")"

# The installed simulator serves a device that answers with its model, as the manual page says.
simlog=$(mktemp)
/usr/bin/vantelo-sim 7146 >"$simlog" 2>&1 &
simpid=$!
port=""
for _ in $(seq 1 100); do
    port=$(head -n1 "$simlog")
    [ -n "$port" ] && break
    sleep 0.1
done
answer=""
if [ -n "$port" ] && [ -e "$port" ]; then
    exec 3<>"$port"
    stty -F "$port" raw -echo 2>/dev/null || true
    printf 'getFWInfo\n' >&3
    while IFS= read -r -t 5 -u 3 line; do
        answer+="$line"$'\n'
        [[ "$line" == *Model:* ]] && break
    done
    exec 3>&-
fi
kill "$simpid" 2>/dev/null || true
wait "$simpid" 2>/dev/null || true
rm -f "$simlog"
grep -q "Model: *7146" <<<"$answer" || die "the installed vantelo-sim on '$port' did not answer getFWInfo: $answer"
say "vantelo-sim 7146 answered on $port"

# --- desktop integration -------------------------------------------------------------------------
desktop-file-validate "/usr/share/applications/$APP_ID.desktop" || die "desktop entry invalid"
appstreamcli validate --no-net "/usr/share/metainfo/$APP_ID.metainfo.xml" >/dev/null ||
    die "metainfo invalid: $(appstreamcli validate --no-net "/usr/share/metainfo/$APP_ID.metainfo.xml")"
say "desktop entry and metainfo validate"
if command -v udevadm >/dev/null; then
    # udev reports a rule it cannot parse as "<file>:<line> <problem>" while reading the rules.
    rules_report=$(udevadm test /sys/class/tty/console 2>&1 || true)
    grep -q "Reading rules file: /usr/lib/udev/rules.d/70-vantelo.rules" <<<"$rules_report" ||
        die "udev did not read the installed rule"
    if grep "70-vantelo.rules:" <<<"$rules_report" >&2; then die "udev rejects the rule"; fi
    say "udev reads the rule without complaint"
fi

# --- removal ---------------------------------------------------------------------------------------
apt_get remove vantelo >/dev/null
is_installed vantelo && die "apt did not remove the package"
for f in $(expected_files); do
    [ -e "$f" ] && die "$f is still there after removal"
done
say "removed; all checks passed"
