# Installs the Debian packages the project needs, only those that are missing.
# Sourced by the other scripts; QUILLMAP_EXTRA_PACKAGES adds more (for example clang for fuzzing).
quillmap_install_deps() {
    local wanted=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
                  qt6-base-dev libgl-dev libsquish-dev libspng-dev libimagequant-dev
                  desktop-file-utils appstream libxml2-utils shared-mime-info groff-base
                  ${QUILLMAP_EXTRA_PACKAGES:-})
    local missing=()
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q || true
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}
