#!/usr/bin/env bash
# Builds the Debian package (Release, in build-package), installs it with apt into /usr and
# checks the installed result: the desktop entry and the AppStream metainfo validate, the man
# page renders, quaverly-cli answers --help and the window starts. Run it as root or with sudo
# available; the package stays installed (apt-get remove quaverly removes it).
set -euo pipefail

cd "$(dirname "$0")/.."
build_dir=${QUAVERLY_PACKAGE_BUILD_DIR:-build-package}
app_id=io.github.quaverly.Quaverly

source scripts/lib.sh

fail() {
    echo "package.sh: $*" >&2
    exit 1
}

install_missing_packages "${quaverly_packaging_packages[@]}"

# A package left from an earlier build must not pass for this one.
rm -f "$build_dir"/quaverly_*.deb
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUAVERLY_BUILD_TESTS=OFF -DQUAVERLY_BUILD_BENCH=OFF
cmake --build "$build_dir"
cpack --config "$build_dir/CPackConfig.cmake" -B "$build_dir"

packages=("$build_dir"/quaverly_*.deb)
[ ${#packages[@]} -eq 1 ] && [ -f "${packages[0]}" ] || fail "expected one package in $build_dir, found: ${packages[*]}"
package=$(realpath "${packages[0]}")

# Without dpkg-shlibdeps CPack still writes a package, one that names no libraries at all.
depends=$(dpkg-deb --field "$package" Depends)
[[ $depends == *libqt6widgets6* ]] || fail "$package does not depend on the Qt libraries it links (Depends: ${depends:-none})"
echo "Depends: $depends"

# --reinstall: a rebuilt package of the same version replaces the one installed.
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall -o DPkg::Lock::Timeout=300 "$package"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

desktop-file-validate "/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml"

/usr/bin/quaverly-cli --help >"$scratch/help" || fail "quaverly-cli --help failed"
grep -q '^Usage: quaverly-cli' "$scratch/help" || fail "quaverly-cli --help printed no usage"

page=/usr/share/man/man1/quaverly-cli.1.gz
if [ ! -e "$page" ]; then
    # Slim images tell dpkg not to unpack manuals; check the page the package carries.
    dpkg-deb --fsys-tarfile "$package" | tar -x -C "$scratch" ".$page" ||
        fail "$package has no man page for quaverly-cli"
    page=$scratch$page
fi
MANWIDTH=80 man --warnings -l "$page" >"$scratch/man" 2>"$scratch/man-warnings" || fail "man could not render $page"
[ ! -s "$scratch/man-warnings" ] || fail "$page renders with warnings: $(cat "$scratch/man-warnings")"
grep -q 'quaverly-cli - ' "$scratch/man" || fail "$page has no NAME line"

# The window must come up and stay up; timeout's 124 means it was still running.
status=0
QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/quaverly >"$scratch/window" 2>&1 || status=$?
if [ "$status" -ne 0 ] && [ "$status" -ne 124 ]; then
    cat "$scratch/window" >&2
    fail "the installed quaverly exited with status $status at start"
fi

echo "Installed and checked $package"
