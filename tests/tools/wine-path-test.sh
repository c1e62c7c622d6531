#!/usr/bin/env bash
# Which Windows build make takes (tools/wine-build), and the install of Wine's 32-bit side from
# the main archive's suites alone (tools/install-deps.sh), with the kernel and apt stood in for.
# shellcheck disable=SC1091,SC2317 # the scripts are sourced, and call the stand-ins
set -u
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect <case> <pattern> <what came>
expect() {
  # shellcheck disable=SC2053 # the pattern is a glob on purpose
  [[ $3 == $2 ]] && return
  echo "FAIL $1: got '$3'" >&2
  echo "     expected '$2'" >&2
  failures=$((failures + 1))
}

# decision <kernel: runs|off> <wine32: installed|missing> <lists: can|cannot> <last try: none|failed|stale|installed>
decision() (
  kernel=$1 wine32=$2 lists=$3 try=$4
  . "$tools/wine-build"
  wine32_try=$work/wine32-try
  rm -f "$wine32_try"
  case $try in
    failed) echo "failed no way worked" >"$wine32_try" ;;
    stale) echo "failed no way worked" >"$wine32_try" && touch -d '25 hours ago' "$wine32_try" ;;
    installed) echo "installed from bookworm and bookworm-updates alone" >"$wine32_try" ;;
  esac
  runs_32bit_programs() { [ "$kernel" = runs ] || { echo "Exec format error"; return 1; }; }
  installed() { [ "$wine32" = installed ]; }
  i386_added() { true; }
  lists_install_wine32() { [ "$lists" = can ]; }
  decide
)

unset VELMARIS_WIN64
expect "kernel without 32-bit emulation" "windows64 this machine's kernel cannot run 32-bit*" \
  "$(decision off missing cannot none)"
expect "32-bit Wine installed" "windows this machine runs 32-bit programs, so the tests run the 32-bit release build" \
  "$(decision runs installed can none)"
expect "32-bit Wine installed from the main archive alone" \
  "windows *release build (its 32-bit Wine came from bookworm and bookworm-updates alone)" \
  "$(decision runs installed can installed)"
expect "lists cannot install it, the other way not yet tried" "windows this machine runs 32-bit programs,*" \
  "$(decision runs missing cannot none)"
expect "lists cannot install it, the other way failed today" \
  "windows64 this machine runs 32-bit programs, but no way worked (tried *, or at once without *wine32-try), so *" \
  "$(decision runs missing cannot failed)"
expect "the other way failed yesterday" "windows this machine runs 32-bit programs,*" \
  "$(decision runs missing cannot stale)"
expect "the lists can install it again" "windows this machine*" "$(decision runs missing can failed)"
expect "32-bit path forced" "windows VELMARIS_WIN64=0 forces the 32-bit path" \
  "$(VELMARIS_WIN64=0 decision off missing cannot none)"
expect "64-bit path forced" "windows64 VELMARIS_WIN64=1 forces the 64-bit path" \
  "$(VELMARIS_WIN64=1 decision runs installed can none)"

# The machine's sources: a comment-only stanza apt does not count, another mirror's stanza, the
# main archive and the security suite.
cat >"$work/debian.sources" <<EOF
# Debian

Types: deb
URIs: http://other.example/debian
Suites: bookworm-backports
Signed-By: $work/other.gpg

Types: deb
# the main archive
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main contrib
Signed-By: $work/archive.gpg

Types: deb
URIs: http://mirror.example/debian-security
Suites: bookworm-security
Components: main
Signed-By: $work/archive.gpg
EOF
touch "$work/archive.gpg" "$work/other.gpg"
printf 'VERSION_CODENAME=bookworm\n' >"$work/os-release"
# An apt plan: one upgrade, one new package, one package moved back.
cat >"$work/plan" <<'EOF'
Inst libfoo [1.0-1] (1.0-2 Debian:12.15/oldstable [amd64])
Inst libfoo:i386 (1.0-2 Debian:12.15/oldstable [i386])
Inst libbar [2.0-1+deb12u7] (2.0-1+deb12u6 Debian:12.15/oldstable [amd64]) []
EOF

# from_main_archive <apt install: works|fails>: the script's messages; the apt configuration apt
# was given lands in $work/seen.
from_main_archive() (
  outcome=$1
  . "$tools/install-deps.sh"
  set +e
  # shellcheck disable=SC2034 # read by the sourced script
  wine32_try=$work/wine32-try os_release=$work/os-release TMPDIR=$work/tmp
  rm -rf "$wine32_try" "$work/seen" "$TMPDIR" && mkdir -p "$TMPDIR"
  apt-get() {
    case " $* " in
      *" indextargets "*)
        printf '%s\n' "deb bookworm-backports http://other.example/debian/ main $work/debian.sources:1" \
          "deb bookworm http://mirror.example/debian/ main $work/debian.sources:2" \
          "deb bookworm http://mirror.example/debian/ contrib $work/debian.sources:2" \
          "deb bookworm-security http://mirror.example/debian-security/ main $work/debian.sources:3" ;;
      *" update "*)
        [ -z "$(ls -A "${2%/*}/empty")" ] && cp -r "${2%/*}" "$work/seen" ;;
      *" -s "*) cat "$work/plan" ;;
      *" install "*) [ "$outcome" = works ] ;;
    esac
  }
  install_wine32_from_main_archive 2>&1
)

said=$(from_main_archive works)
expect "sources of the main archive alone" "deb \[signed-by=$work/archive.gpg\] http://mirror.example/debian/ bookworm main contrib
deb \[signed-by=$work/archive.gpg\] http://mirror.example/debian/ bookworm-updates main contrib" \
  "$(cat "$work/seen/sources.list" 2>&1)"
expect "nothing of the machine's own configuration read" "7" \
  "$(grep -cE '^Dir::(Etc::(SourceList|SourceParts|Preferences|PreferencesParts)|State::Lists|Cache::(pkgcache|srcpkgcache) "")' "$work/seen/apt.conf" 2>&1)"
expect "those suites pinned above what is installed" "2" \
  "$(grep -c 'Pin-Priority: 1001' "$work/seen/preferences" 2>&1)"
expect "the package moved back named" \
  "*came from bookworm and bookworm-updates of http://mirror.example/debian/ alone; moved back to an older version * libbar (2.0-1+deb12u7 -> 2.0-1+deb12u6)" \
  "$(tail -n 1 <<<"$said")"
expect "success remembered" "installed from bookworm and bookworm-updates alone*" "$(cat "$work/wine32-try")"
expect "temporary configuration removed" "" "$(ls -A "$work/tmp")"

from_main_archive fails >/dev/null
expect "failure remembered" "failed *neither from this machine's package lists nor from bookworm and bookworm-updates alone" \
  "$(cat "$work/wine32-try")"
expect "temporary configuration removed after a failure" "" "$(ls -A "$work/tmp")"

[ "$failures" -eq 0 ] && echo "wine path: all cases pass"
[ "$failures" -eq 0 ]
