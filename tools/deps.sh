# Sourced by ./run and ./test: installs the Debian packages the build and the tests need.
KORVEL_PACKAGES=(cmake ninja-build g++ clang pkg-config qt6-base-dev libqt6svg6 libicu-dev
                 fonts-noto-core fonts-dejavu-core xvfb xauth imagemagick libclang-rt-14-dev ccache
                 libzint-dev libzxing-dev ser2net)
# ./package adds these: the package's tools, and debootstrap for --check.
KORVEL_PACKAGE_TOOLS=(dpkg-dev desktop-file-utils appstream debootstrap)

korvel_install_deps() {
  local missing=()
  for p in "${KORVEL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages and not root: run as root or install them: ${missing[*]}" >&2
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

korvel_build() { # build-dir [cmake args...]
  local dir=$1; shift
  # Paths relative to the checkout: a fresh clone elsewhere finds what an earlier one compiled.
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    # ccache keeps a second run, and the other build folders, from compiling the same file twice.
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
      -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache "$@"
  fi
  cmake --build "$dir" -j"$(nproc)"
}
