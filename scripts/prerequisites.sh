#!/usr/bin/env bash
# Makes sure what scripts/demo.sh or scripts/test.sh builds with is here, and
# installs what is missing from Debian's packages: directly as root, through
# `sudo -n` where that needs no password, and otherwise stops at once naming
# the one command that installs it. ZANVO_NO_INSTALL=1 never installs.
#   scripts/prerequisites.sh demo|test
# demo: CMake, make and a C++ compiler; test: GoogleTest, nlohmann_json and
# groff (the manual pages' test renders them) as well. The compiler and the
# libraries are looked for by CMake's own checks (cmake/prerequisites), so
# "present" means what the build will find; CMake, make and groff on PATH.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
case "${1:-}" in
  demo | test) mode=$1 ;;
  *) echo "prerequisites.sh: usage: prerequisites.sh demo|test" >&2; exit 2 ;;
esac
me=$mode.sh
# joined ITEM...: the items separated by "; " (an item may hold commas).
joined() {
  local out=$1
  shift
  for item in "$@"; do out+="; $item"; done
  printf '%s' "$out"
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-prereq.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# ask_dpkg PACKAGE...: adds those not installed, for when CMake cannot look
# (itself or the compiler missing), so that one command still installs all.
ask_dpkg() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      { packages+=("$pkg"); what+=("$pkg"); }
  done
}

# probe: fills `packages` (Debian packages to install) and `what` (what they
# bring, for the message).
probe() {
  packages=() what=()
  local line
  # The test of the manual pages runs groff from PATH, as cmake and make are.
  if [ "$mode" = test ] && ! command -v groff >/dev/null; then
    packages+=(groff-base) what+=("groff, which the test of the manual pages renders them with")
  fi
  local before_cmake=${#packages[@]}
  if ! command -v cmake >/dev/null; then
    packages+=(cmake) what+=(CMake)
    ask_dpkg g++
    [ "$mode" = test ] && ask_dpkg libgtest-dev libgmock-dev nlohmann-json3-dev
  fi
  # The build uses make unless another generator is asked for.
  if [ -z "${CMAKE_GENERATOR:-}" ] && ! command -v make >/dev/null; then
    packages+=(make) what+=(make)
  fi
  # Without CMake or make, CMake cannot look for the rest.
  [ ${#packages[@]} -eq "$before_cmake" ] || return 0
  local tests=OFF
  [ "$mode" = test ] && tests=ON
  rm -rf "$scratch/probe"
  if ! cmake -S "$root/cmake/prerequisites" -B "$scratch/probe" -DZANVO_PREREQ_TESTS=$tests \
       -DZANVO_PREREQ_OUT="$scratch/missing" >"$scratch/probe.log" 2>&1; then
    echo "$me: CMake could not look for what the build needs:" >&2
    cat "$scratch/probe.log" >&2
    exit 1
  fi
  while IFS='|' read -r line_packages line_what; do
    [ -n "$line_packages" ] || continue
    if [ "$line_packages" = - ]; then
      [ "$mode" = test ] && ask_dpkg libgtest-dev libgmock-dev nlohmann-json3-dev
      continue
    fi
    read -r -a line <<<"$line_packages"
    packages+=("${line[@]}") what+=("$line_what")
  done <"$scratch/missing"
}

probe
[ ${#packages[@]} -gt 0 ] || exit 0

as_root=()
how=
if [ "${ZANVO_NO_INSTALL:-}" = 1 ]; then
  how="installing is turned off (ZANVO_NO_INSTALL=1)"
elif [ "$(id -u)" = 0 ]; then
  how=root
elif ! command -v sudo >/dev/null; then
  how="not root, and there is no sudo"
elif sudo -n true 2>/dev/null; then
  how=sudo as_root=(sudo -n)
else
  how="not root, and sudo asks for a password"
fi

if [ "$how" != root ] && [ "$how" != sudo ]; then
  # The command suggested is one this user can run: as it is for root,
  # through sudo where there is sudo (it may ask for a password), and
  # otherwise through su, which asks for root's password.
  command="apt-get install ${packages[*]}"
  if [ "$(id -u)" = 0 ]; then
    advice="install with: $command"
  elif command -v sudo >/dev/null; then
    advice="install with: sudo $command"
  else
    advice="install as root with: su -c '$command' (or ask an administrator to)"
  fi
  {
    echo "$me: missing: $(joined "${what[@]}")"
    echo "$me: $how; $advice"
  } >&2
  exit 1
fi

echo "$me: installing ${packages[*]} ($(joined "${what[@]}"))" >&2
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300)
if ! "${apt[@]}" update -qq >&2 ||
   ! "${apt[@]}" install -y -qq --no-install-recommends "${packages[@]}" >&2; then
  echo "$me: installing ${packages[*]} failed" >&2
  exit 1
fi
# Installed is not the same as found: look again.
installed=("${packages[@]}")
probe
if [ ${#packages[@]} -gt 0 ]; then
  echo "$me: still missing after installing ${installed[*]}: ${what[*]}" >&2
  exit 1
fi
