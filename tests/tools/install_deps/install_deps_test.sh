#!/usr/bin/env bash
# scripts/install-deps against stand-ins for dpkg-query, id, sudo and apt-get
# on a PATH of their own: who installs the missing packages (apt-get as
# root, sudo without a password, sudo asking on a terminal) and the line to
# run as root when nothing can.
#
#   install_deps_test.sh INSTALL_DEPS
set -euo pipefail
install_deps=$1
bash=$(command -v bash)
script_tool=$(command -v script || true)

work=$(mktemp -d "${TMPDIR:-/tmp}/install-deps-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

# One stand-in folder per case: sudo is "none", "nopassword" or "password"
# (it records what it was asked to run).
make_tools() {
  local bin=$1 uid=$2 sudo=$3
  mkdir -p "$bin"
  cat >"$bin/dpkg-query" <<'TOOL'
#!/bin/bash
# Every package is there but those in $MISSING.
for p in $MISSING; do [ "$p" = "${@: -1}" ] && { printf 'deinstall ok config-files'; exit 0; }; done
printf 'install ok installed'
TOOL
  printf '#!/bin/bash\necho %s\n' "$uid" >"$bin/id"
  printf '#!/bin/bash\necho "apt-get $*" >>"$CALLS"\n' >"$bin/apt-get"
  case $sudo in
    nopassword) printf '#!/bin/bash\n[ "$*" = "-n true" ] && exit 0\necho "sudo $*" >>"$CALLS"\n' >"$bin/sudo" ;;
    password) printf '#!/bin/bash\n[ "$1" = -n ] && exit 1\necho "sudo $*" >>"$CALLS"\n' >"$bin/sudo" ;;
  esac
  chmod +x "$bin"/*
}

# name | uid | sudo | missing | on a terminal | expected exit | calls | error text
cases=(
  "all there|1000|none||no|0||"
  "root|0|none|cmake xvfb|no|0|apt-get update -q;apt-get install -y -q --no-install-recommends cmake xvfb|"
  "sudo without password|1000|nopassword|cmake|no|0|sudo -n apt-get update -q;sudo -n apt-get install -y -q --no-install-recommends cmake|"
  "sudo asking on a terminal|1000|password|cmake|yes|0|sudo apt-get update -q;sudo apt-get install -y -q --no-install-recommends cmake|"
  "sudo asking, no terminal|1000|password|cmake xvfb|no|1||apt-get update \&\& apt-get install -y --no-install-recommends cmake xvfb"
  "no sudo|1000|none|cmake|no|1||apt-get update \&\& apt-get install -y --no-install-recommends cmake"
  "no sudo on a terminal|1000|none|cmake|yes|1||Install them as root"
)
index=0
for row in "${cases[@]}"; do
  IFS='|' read -r name uid sudo missing terminal want_status want_calls want_text <<<"$row"
  index=$((index + 1))
  bin="$work/$index/bin"
  make_tools "$bin" "$uid" "$sudo"
  calls="$work/$index/calls"
  out="$work/$index/out"
  : >"$calls"
  status=0
  if [ "$terminal" = yes ]; then
    if [ -z "$script_tool" ]; then
      echo "SKIP $name: no script(1) for a terminal"
      continue
    fi
    MISSING="$missing" CALLS="$calls" PATH="$bin" "$script_tool" -qec "$bash $install_deps" \
      /dev/null >"$out" 2>&1 </dev/null || status=$?
  else
    MISSING="$missing" CALLS="$calls" PATH="$bin" "$bash" "$install_deps" >"$out" 2>&1 \
      </dev/null || status=$?
  fi
  got_calls=$(paste -sd ';' "$calls")
  ok=1
  [ "$status" = "$want_status" ] || ok=0
  [ "$got_calls" = "$want_calls" ] || ok=0
  if [ -n "$want_text" ]; then
    grep -qF "${want_text//\\/}" "$out" || ok=0
  elif [ "$want_status" = 0 ] && [ -s "$out" ] && [ "$terminal" = no ]; then
    ok=0
  fi
  if [ "$ok" = 1 ]; then
    echo "ok   $name"
  else
    echo "FAIL $name: exit $status (want $want_status), calls '$got_calls' (want '$want_calls')"
    sed 's/^/     | /' "$out"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ]
