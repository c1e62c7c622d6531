#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
#   tools/install-deps.sh [windows|windows64]
# The argument is the Windows build the Wine tests run on (tools/wine-build decides it): the
# 32-bit one needs Wine's 32-bit side, the 64-bit one the x86_64 compiler and Wine's 64-bit side.
# Both need the i686 compiler, since the release file is always the 32-bit one.
#
# Debian's 32-bit Wine needs its i386 libraries at the very versions of the amd64 ones. While a
# mirror is in the middle of a sync, the security suite's i386 list can be unreadable, and then
# the amd64 libraries that security updates brought have no i386 twins: apt refuses the install.
# The main archive's suites alone still hold matching pairs, so Wine is tried once more from them
# alone, with an apt configuration of its own in a temporary folder; only where that fails too is
# the 64-bit path installed instead. tools/wine-build reads how that try ended ($wine32_try).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine32_try=$root/build/wine32-try
os_release=/etc/os-release
sudo=""

# Whether a package is installed, by dpkg's own record.
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# The machine's own source of the release <codename>, as "<uri> <keyring or -> <component>...".
main_archive_source() {
  local codename=$1 uri="" entry="" components=() target_of release repo component sourcesentry
  # shellcheck disable=SC2016 # apt's own field names
  while read -r target_of release repo component sourcesentry; do
    [[ $target_of == deb && $release == "$codename" ]] || continue
    [ -n "$uri" ] || { uri=$repo entry=$sourcesentry; }
    [ "$repo" = "$uri" ] && [[ " ${components[*]} " != *" $component "* ]] && components+=("$component")
  done < <(apt-get indextargets --no-release-info \
    --format '$(TARGET_OF) $(RELEASE) $(REPO_URI) $(COMPONENT) $(SOURCESENTRY)' 2>/dev/null)
  [ -n "$uri" ] || return 1
  echo "$uri $(entry_keyring "${entry%:*}" "${entry##*:}") ${components[*]}"
}

# The keyring an entry of a sources file names (the file and the entry's number, as apt gives
# them: the line of a one-line list, the stanza of a deb822 file), or "-" where it names none
# by path; apt then trusts the keys in /etc/apt/trusted.gpg.d, as it does for that entry.
entry_keyring() {
  local file=$1 number=$2 keyring=""
  case $file in
    *.sources)
      keyring=$(awk -v wanted="$number" 'BEGIN { RS = ""; FS = "\n" }
        { stanza = 0
          for (i = 1; i <= NF; i++) if ($i !~ /^#/) stanza = 1
          if (!stanza || ++count != wanted) next
          for (i = 1; i <= NF; i++) if (tolower($i) ~ /^signed-by:/) {
            sub(/^[^:]*:[ \t]*/, "", $i); sub(/[ \t]+$/, "", $i); print $i } }' "$file") ;;
    *) keyring=$(sed -n "${number}p" "$file" | grep -o 'signed-by=[^] ]*' | cut -d= -f2-) ;;
  esac
  if [[ $keyring == /* && -f $keyring ]]; then echo "$keyring"; else echo -; fi
}

# Writes into <dir> an apt configuration whose only sources are <codename> and
# <codename>-updates of <uri>, pinned above any installed version so that apt may move a
# package back to the version those suites hold; apt-get -c <dir>/apt.conf reads it.
write_main_archive_config() {
  local dir=$1 codename=$2 uri=$3 keyring=$4 options=""
  shift 4
  [ "$keyring" = - ] || options="[signed-by=$keyring] "
  mkdir -p "$dir/empty" "$dir/lists/partial"
  printf 'deb %s%s %s %s\n' "$options" "$uri" "$codename" "$*" "$options" "$uri" \
    "$codename-updates" "$*" >"$dir/sources.list"
  printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n\n' "$codename" \
    "$codename-updates" >"$dir/preferences"
  cat >"$dir/apt.conf" <<EOF
Dir::Etc::SourceList "$dir/sources.list";
Dir::Etc::SourceParts "$dir/empty";
Dir::Etc::Preferences "$dir/preferences";
Dir::Etc::PreferencesParts "$dir/empty";
Dir::State::Lists "$dir/lists";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
EOF
}

# From an apt-get install -s plan on standard input, the packages it moves back to an older
# version, as "package (installed -> older)", comma-separated.
downgrades_in() {
  local package old new said=""
  while read -r package old new; do
    dpkg --compare-versions "$old" gt "$new" && said="${said:+$said, }$package ($old -> $new)"
  done < <(sed -n 's/^Inst \([^ ]*\) \[\([^]]*\)\] (\([^ ]*\) .*/\1 \2 \3/p')
  echo "$said"
}

# Installs wine and wine32:i386 from the main archive's suites alone, says in one line what it
# did, and records how the try ended in $wine32_try. Its temporary folder goes in every case.
install_wine32_from_main_archive() (
  why_short="Debian's 32-bit Wine cannot be installed from this machine's package lists"
  why="$why_short (a mirror in the middle of a sync can hold its i386 libraries back)"
  record() { mkdir -p "${wine32_try%/*}" && echo "$*" >"$wine32_try"; }
  # shellcheck source=/dev/null
  codename=$( (. "$os_release" && echo "${VERSION_CODENAME:-}") 2>/dev/null) || codename=""
  if [ -z "$codename" ]; then
    record "failed $why_short, and $os_release names no release codename to try the main archive's suites alone"
    return 1
  fi
  if ! source=$(main_archive_source "$codename"); then
    record "failed $why_short, and its apt sources name no source of $codename to try alone"
    return 1
  fi
  # shellcheck disable=SC2086 # the source's fields: uri, keyring, components
  set -- $source
  dir=$(mktemp -d "${TMPDIR:-/tmp}/velmaris-apt.XXXXXX") || {
    record "failed $why_short, and no temporary folder could be made to try the main archive's suites alone"
    return 1
  }
  # apt, run as root, leaves files of root's and of its download user's in the folder.
  trap '$sudo rm -rf "$dir"' EXIT
  trap 'exit 1' INT TERM HUP
  chmod 755 "$dir" # apt's download sandbox user writes into its lists
  write_main_archive_config "$dir" "$codename" "$@"
  echo "install-deps: trying wine and wine32:i386 from $codename and $codename-updates of $1 alone" >&2
  install=(apt-get -c "$dir/apt.conf" install --no-install-recommends --no-remove --allow-downgrades)
  if ! $sudo apt-get -c "$dir/apt.conf" update -qq ||
    ! plan=$($sudo "${install[@]}" -s wine wine32:i386) ||
    ! DEBIAN_FRONTEND=noninteractive $sudo "${install[@]}" -y -qq wine wine32:i386; then
    record "failed Debian's 32-bit Wine could be installed neither from this machine's package lists nor from $codename and $codename-updates alone"
    return 1
  fi
  downgrades=$(downgrades_in <<<"$plan")
  moved="no package was moved back to an older version"
  [ -z "$downgrades" ] ||
    moved="moved back to an older version until the security suite's i386 list can be read again and apt-get upgrade brings them forward: $downgrades"
  record "installed from $codename and $codename-updates alone on $(date -u '+%Y-%m-%d'), since this machine's package lists could not install it"
  echo "install-deps: $why, so wine and wine32:i386 came from $codename and $codename-updates of $1 alone; $moved" >&2
)

main() {
  local wine_build=${1:-windows} packages missing=() others=() package
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

  for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && exit 0

  fail() {
    echo "install-deps: $1" >&2
    echo "install-deps: packages needed: ${missing[*]}" >&2
    echo "install-deps: $2" >&2
    exit 1
  }

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
  for package in "${missing[@]}"; do
    [[ $package == wine || $package == wine32:i386 ]] || others+=("$package")
  done
  if DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    [ ${#others[@]} -eq ${#missing[@]} ] || rm -f "$wine32_try"
    exit 0
  fi
  [ ${#others[@]} -lt ${#missing[@]} ] ||
    fail "apt-get could not install the packages (see its messages above)" \
      "mend what apt-get names (a held package, a full disk, no mirror), then run the command again"

  # Wine's 32-bit side is what failed, or among what failed: the rest first, from the same lists.
  if [ ${#others[@]} -gt 0 ] &&
    ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${others[@]}"; then
    fail "apt-get could not install the packages (see its messages above)" \
      "mend what apt-get names (a held package, a full disk, no mirror), then run the command again"
  fi
  install_wine32_from_main_archive && exit 0
  # The 64-bit path serves then, and tools/wine-build takes it for a day, saying why.
  echo "install-deps: Debian's 32-bit Wine could not be installed; installing what the 64-bit path needs instead" \
    "(tried again in a day, or at once without ${wine32_try#"$root"/})" >&2
  exec "$0" windows64
}

# Sourced by its test for the functions alone.
[ "${BASH_SOURCE[0]}" != "$0" ] || main "$@"
