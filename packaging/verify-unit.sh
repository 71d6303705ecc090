#!/bin/sh
# Checks the service unit with systemd-analyze as the package installs it:
# UNIT and SERVER in a throwaway root beside systemd's own units, which the
# unit's ordering names. Prints the sandbox's exposure score, and fails above 2.0.
#   packaging/verify-unit.sh UNIT SERVER
set -eu
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/usr/bin" "$root/usr/lib/systemd/system"
cp -r /usr/lib/systemd/system/. "$root/usr/lib/systemd/system/"
cp "$1" "$root/usr/lib/systemd/system/marquelin-server.service"
cp "$2" "$root/usr/bin/marquelin-server"
# verify exits 0 after warnings such as an unknown key: any output fails.
complaints=$(systemd-analyze verify --man=no --root="$root" "$root/usr/lib/systemd/system/marquelin-server.service" 2>&1) &&
  [ -z "$complaints" ] || { printf '%s\n' "$complaints" >&2; exit 1; }
# 2.0 and above would mean the sandbox was loosened.
report=$(systemd-analyze security --offline=true --threshold=20 --root="$root" marquelin-server.service) ||
  { printf '%s\n' "$report" | tail -n 1 >&2; exit 1; }
printf '%s\n' "$report" | tail -n 1
