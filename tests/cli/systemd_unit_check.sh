#!/usr/bin/env bash
# The packaged unit vemo-convert-watch@.service passes systemd-analyze verify, as an instance
# whose program is the one just built. Skipped (77) where systemd-analyze is missing, except
# under CI=true, where that is a failure.
#
#   systemd_unit_check.sh UNIT_FILE VEMO_CONVERT
set -euo pipefail
unit=$1 convert=$2
if ! command -v systemd-analyze >/dev/null; then
  [ "${CI:-}" = true ] && { echo "systemd_unit_check: systemd-analyze is missing (Debian package systemd)"; exit 1; }
  echo "systemd_unit_check: skipped: no systemd-analyze (Debian package systemd)"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sed "s#/usr/bin/vemo-convert#$convert#" "$unit" >"$dir/vemo-convert-watch@check.service"
# The man page is checked by the man page tests, not installed here.
systemd-analyze verify --man=no "$dir/vemo-convert-watch@check.service"
echo "systemd_unit_check: ok"
