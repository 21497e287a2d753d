# Shared by the scripts in this folder; source it, don't run it.

# What building and testing Quaverly needs on Debian 12.
quaverly_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-svg-dev libexpat1-dev libgtest-dev)

# install_missing_packages [EXTRA...]: installs whichever of quaverly_packages and EXTRA are
# missing through apt-get (with sudo unless root); does nothing where there is no dpkg.
install_missing_packages() {
    command -v dpkg >/dev/null || return 0
    local missing=()
    for package in "${quaverly_packages[@]}" "$@"; do
        dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing ${missing[*]}"
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
}
