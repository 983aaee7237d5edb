#!/usr/bin/env bash
# The set-up step of scripts/test.sh and scripts/demo.sh, with a stand-in for
# the installer: `id`, `sudo` and `apt-get` are scripts first on PATH that log
# their calls. The package that is missing is a made-up one looked for like the
# real ones; the stand-in apt-get makes it appear when asked to install it.
#   prerequisites_test.sh SOURCE_DIR
set -euo pipefail
source=$1
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-prereq-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
bin=$scratch/bin log=$scratch/calls prefix=$scratch/prefix
mkdir -p "$bin"

cat >"$bin/id" <<'STANDIN'
#!/bin/sh
[ "$1" = -u ] && { echo "$STANDIN_UID"; exit 0; }
exec /usr/bin/id "$@"
STANDIN
cat >"$bin/sudo" <<'STANDIN'
#!/bin/sh
[ "$STANDIN_SUDO" = yes ] || { echo "sudo: a password is required" >&2; exit 1; }
[ "$1" = -n ] && shift
[ "$1" = true ] || echo "sudo" >>"$STANDIN_LOG"
exec "$@"
STANDIN
cat >"$bin/apt-get" <<'STANDIN'
#!/bin/sh
echo "apt-get $*" >>"$STANDIN_LOG"
case " $* " in
  *" install "*)
    [ "$STANDIN_APT" = fails ] && exit 100
    # "works" brings the package; "lies" says it did without it.
    if [ "$STANDIN_APT" = works ]; then
      mkdir -p "$STANDIN_PREFIX/lib/cmake/ZanvoStandIn"
      : >"$STANDIN_PREFIX/lib/cmake/ZanvoStandIn/ZanvoStandInConfig.cmake"
    fi ;;
esac
exit 0
STANDIN
chmod +x "$bin"/*

# path_without DIR NAME: makes DIR a folder for PATH that holds the stand-ins
# and a link to every program of the real PATH (the first of each name), but
# none called NAME.
path_without() {
  local dir=$1 missing=$2 folder program name
  local -A seen=([$missing]=1)
  local links=()
  mkdir -p "$dir"
  for program in "$bin"/*; do
    name=${program##*/}
    [ -n "${seen[$name]:-}" ] || cp "$program" "$dir/"
    seen[$name]=1
  done
  IFS=: read -r -a folders <<<"$PATH"
  for folder in "${folders[@]}"; do
    for program in "$folder"/*; do
      name=${program##*/}
      [ -z "${seen[$name]:-}" ] && [ -x "$program" ] || continue
      seen[$name]=1 links+=("$program")
    done
  done
  ln -s "${links[@]}" "$dir/"
}
nosudo=$scratch/nosudo nogroff=$scratch/nogroff
path_without "$nosudo" sudo
path_without "$nogroff" groff

failures=0
lock='-o DPkg::Lock::Timeout=300'
update="apt-get $lock update -qq"
install="apt-get $lock install -y -qq --no-install-recommends zanvo-stand-in-dev"

# case NAME UID SUDO APT NO_INSTALL EXTRA STATUS CALLS SAYS
#   SUDO yes: sudo -n works without a password, no: it asks for one, absent:
#   there is no sudo on PATH; APT works|fails|lies; case_path, when set, is
#   the whole PATH;
#   EXTRA yes: the made-up package is required; CALLS: the installer's log,
#   calls separated by ";"; SAYS: what standard error must hold.
case_() {
  local name=$1 uid=$2 sudo=$3 apt=$4 no_install=$5 extra=$6 want_status=$7 want_calls=$8 says=$9
  rm -rf "$prefix" "$log"
  : >"$log"
  local status=0 start=$SECONDS path=${case_path:-$bin:$PATH}
  [ "$sudo" = absent ] && path=$nosudo
  env PATH="$path" STANDIN_UID="$uid" STANDIN_SUDO="$sudo" STANDIN_APT="$apt" \
      STANDIN_LOG="$log" STANDIN_PREFIX="$prefix" CMAKE_PREFIX_PATH="$prefix" \
      ZANVO_NO_INSTALL="$no_install" ${extra:+ZANVO_PREREQ_EXTRA=ZanvoStandIn:zanvo-stand-in-dev} \
      "$source/scripts/prerequisites.sh" test >"$scratch/out" 2>"$scratch/err" || status=$?
  local calls
  calls=$(paste -sd';' "$log")
  local problems=()
  [ "$status" = "$want_status" ] || problems+=("status $status, wanted $want_status")
  [ "$calls" = "$want_calls" ] || problems+=("installer calls [$calls], wanted [$want_calls]")
  [ -z "$says" ] || grep -qF -- "$says" "$scratch/err" || problems+=("stderr lacks [$says]")
  [ ! -s "$scratch/out" ] || problems+=("wrote to stdout")
  # Where it cannot install, it stops without waiting for anything: not for
  # the package lock (300 s) nor a password. A run that installs looks twice
  # and waits for the installer, however long that takes. The bound leaves
  # room for a busy machine, where one look alone has taken 14 s.
  [ "$want_status" = 0 ] || [ -n "$want_calls" ] || [ $((SECONDS - start)) -le 60 ] ||
    problems+=("took $((SECONDS - start)) s")
  if [ ${#problems[@]} -gt 0 ]; then
    echo "FAIL $name: $(IFS=';'; echo "${problems[*]}")"
    sed 's/^/  stderr: /' "$scratch/err"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

case_ "all present, not root"       1000 no  works "" ""  0 "" ""
case_ "missing, root"               0    no  works "" yes 0 "$update;$install" "test.sh: installing zanvo-stand-in-dev"
case_ "missing, sudo -n works"      1000 yes works "" yes 0 "sudo;$update;sudo;$install" ""
# Where it stops, the command it names is one this user can run.
case_ "missing, sudo asks a password" 1000 no works "" yes 1 "" \
      "sudo asks for a password; install with: sudo apt-get install zanvo-stand-in-dev"
case_ "missing, no root, no sudo"   1000 absent works "" yes 1 "" \
      "there is no sudo; install as root with: su -c 'apt-get install zanvo-stand-in-dev'"
case_ "missing, root, turned off"   0    no  works 1  yes 1 "" \
      "(ZANVO_NO_INSTALL=1); install with: apt-get install zanvo-stand-in-dev"
case_ "missing, no sudo, turned off" 1000 absent works 1 yes 1 "" \
      "(ZANVO_NO_INSTALL=1); install as root with: su -c 'apt-get install zanvo-stand-in-dev'"
case_path=$nogroff case_ "groff missing, turned off" 0 no works 1 "" 1 "" \
      "(ZANVO_NO_INSTALL=1); install with: apt-get install groff-base"
case_ "missing, the install fails"  0    no  fails "" yes 1 "$update;$install" \
      "test.sh: installing zanvo-stand-in-dev failed"
case_ "missing, installed but still not found" 0 no lies "" yes 1 "$update;$install" \
      "test.sh: still missing after installing zanvo-stand-in-dev"

[ "$failures" = 0 ]
