#!/usr/bin/env bash
# Makes sure every package of scripts/packages.txt is installed. As root it
# installs what is missing; otherwise it prints the one apt-get line to run and
# fails. Usage: scripts/ensure-packages.sh
set -euo pipefail
LIST="$(dirname "$0")/packages.txt"

missing=()
while read -r line; do
  pkg=${line%%#*}
  pkg=${pkg//[[:space:]]/}
  [ -n "$pkg" ] || continue
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null || true)
  [ "${status:0:2}" = "ii" ] || missing+=("$pkg")
done <"$LIST"

[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "installing missing packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
else
  echo "missing packages: ${missing[*]}" >&2
  echo "install them as root with:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi
