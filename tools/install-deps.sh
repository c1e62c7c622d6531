#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
#   tools/install-deps.sh [windows|windows64]
# The argument is the Windows build the Wine tests run on (tools/wine-build decides it): the
# 32-bit one needs Wine's 32-bit side, the 64-bit one the x86_64 compiler and Wine's 64-bit side.
# Both need the i686 compiler, since the release file is always the 32-bit one.
set -euo pipefail
wine_build=${1:-windows}

packages=(
  cmake ninja-build g++ clang libgtest-dev libgmock-dev googletest python3
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  xvfb xauth xclip x11-apps x11-utils imagemagick
)
case $wine_build in
  windows) packages+=(wine wine32:i386) ;;
  windows64) packages+=(wine64 g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64) ;;
  *) echo "install-deps: unknown Windows build '$wine_build' (expected windows or windows64)" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

fail() {
  echo "install-deps: $1" >&2
  echo "install-deps: packages needed: ${missing[*]}" >&2
  echo "install-deps: $2" >&2
  exit 1
}

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null ||
    fail "installing packages needs root, and sudo is not available" \
      "run this script as root, or install the packages above by hand"
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
if [ "$wine_build" = windows ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386 ||
    fail "could not add the i386 architecture, which Wine's 32-bit side needs" \
      "add it by hand (dpkg --add-architecture i386), or use the 64-bit path: VELMARIS_WIN64=1"
fi
# A mirror in the middle of a sync can fail one index (the security lists of one architecture,
# say) while the rest is read: try again once, then go on with what was read, since the install
# below says plainly whether a package is still missing.
if ! $sudo apt-get update -qq; then
  sleep 5
  $sudo apt-get update -qq ||
    echo "install-deps: some package lists could not be read; trying with those that were" >&2
fi
if DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
  exit 0
fi
# The 32-bit Wine can be out of reach while the rest is not (its i386 libraries held back by a
# mirror in the middle of a sync): the 64-bit path then serves, and tools/wine-build takes it.
if [ "$wine_build" = windows ]; then
  echo "install-deps: Debian's 32-bit Wine could not be installed; installing what the 64-bit path needs instead" >&2
  exec "$0" windows64
fi
fail "apt-get could not install the packages (see its messages above)" \
  "mend what apt-get names (a held package, a full disk, no mirror), then run the command again"
