#!/usr/bin/env bash
# scripts/install-udev-rules against stand-ins for id, sudo, install and
# udevadm on a PATH of their own: who installs the rule (root, sudo without a
# password, sudo asking on a terminal) and, when nobody can, the line it
# prints, which run as root does what root's run does.
#
#   install_udev_rules_test.sh INSTALL_UDEV_RULES
set -euo pipefail
script=$1
bash=$(command -v bash)
script_tool=$(command -v script || true)
rules="$(cd "$(dirname "$script")/.." && pwd)/resources/udev/70-ravosync.rules"

work=$(mktemp -d "${TMPDIR:-/tmp}/install-udev-rules-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

# One stand-in folder per case: sudo is "none", "nopassword" or "password"
# (it records what it was asked to run, then runs it).
make_tools() {
  local bin=$1 uid=$2 sudo=$3
  mkdir -p "$bin"
  printf '#!/bin/bash\necho %s\n' "$uid" >"$bin/id"
  printf '#!/bin/bash\necho "install $*" >>"$CALLS"\n' >"$bin/install"
  printf '#!/bin/bash\necho "udevadm $*" >>"$CALLS"\n' >"$bin/udevadm"
  case $sudo in
    nopassword) printf '#!/bin/bash\n[ "$*" = "-n true" ] && exit 0\necho "sudo $*" >>"$CALLS"\n' >"$bin/sudo" ;;
    password) printf '#!/bin/bash\n[ "$1" = -n ] && exit 1\necho "sudo $*" >>"$CALLS"\n' >"$bin/sudo" ;;
  esac
  chmod +x "$bin"/*
  ln -s "$(command -v dirname)" "$bin/dirname"
}

as_root="install -m 0644 $rules /etc/udev/rules.d/;udevadm control --reload-rules;udevadm trigger --subsystem-match=hidraw"
with_sudo() { sed "s/^/$1 /; s/;/;$1 /g" <<<"$as_root"; }

# name | uid | sudo | on a terminal | expected exit | calls | prints the line for root
cases=(
  "root|0|none|no|0|$as_root|no"
  "sudo without password|1000|nopassword|no|0|$(with_sudo "sudo -n")|no"
  "sudo asking on a terminal|1000|password|yes|0|$(with_sudo sudo)|no"
  "sudo asking, no terminal|1000|password|no|1||yes"
  "no sudo|1000|none|no|1||yes"
  "no sudo on a terminal|1000|none|yes|1||yes"
)
index=0
for row in "${cases[@]}"; do
  IFS='|' read -r name uid sudo terminal want_status want_calls want_line <<<"$row"
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
    CALLS="$calls" PATH="$bin" "$script_tool" -qec "$bash $script" /dev/null >"$out" 2>&1 \
      </dev/null || status=$?
  else
    CALLS="$calls" PATH="$bin" "$bash" "$script" >"$out" 2>&1 </dev/null || status=$?
  fi
  got_calls=$(paste -sd ';' "$calls")
  ok=1
  [ "$status" = "$want_status" ] || ok=0
  [ "$got_calls" = "$want_calls" ] || ok=0
  grep -q "command not found" "$out" && ok=0
  if [ "$want_line" = yes ]; then
    # The printed line, run as root, installs as root's own run does.
    line=$(grep -A1 "Run this as root:" "$out" | tail -n 1 | tr -d '\r' || true)
    root_bin="$work/$index/root-bin"
    make_tools "$root_bin" 0 none
    root_calls="$work/$index/root-calls"
    : >"$root_calls"
    CALLS="$root_calls" PATH="$root_bin" "$bash" -c "$line" >/dev/null 2>&1 || ok=0
    [ "$(paste -sd ';' "$root_calls")" = "$as_root" ] || ok=0
  elif [ -s "$out" ] && [ "$terminal" = no ]; then
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
