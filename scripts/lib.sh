# Shared by the scripts in this folder; source it, don't run it.

# What building and testing Quaverly needs on Debian 12.
quaverly_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-svg-dev libexpat1-dev libgtest-dev)

# What building the Debian package and checking it once installed needs besides (package.sh):
# help2man writes the man page, dpkg-shlibdeps (dpkg-dev) and file find the package's
# dependencies, the rest validate and render what it installs.
quaverly_packaging_packages=(help2man dpkg-dev file desktop-file-utils appstream man-db)

# as_root COMMAND...: runs COMMAND as root, through sudo unless already root.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# install_missing_packages [EXTRA...]: installs whichever of quaverly_packages and EXTRA are
# missing through apt-get (with sudo unless root); does nothing where there is no dpkg.
install_missing_packages() {
    command -v dpkg >/dev/null || return 0
    local missing=()
    for package in "${quaverly_packages[@]}" "$@"; do
        dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}"
    as_root apt-get update -q
    # Waits for another apt run (an unattended upgrade on a fresh machine) instead of failing.
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o DPkg::Lock::Timeout=300 "${missing[@]}"
}
