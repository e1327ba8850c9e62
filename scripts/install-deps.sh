#!/usr/bin/env bash
# Installs the Debian packages given as arguments that are not installed yet, quietly.
set -euo pipefail
missing=()
for pkg in "$@"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    # nodejs from another origin may provide npm itself.
    if [ "$pkg" = npm ] && command -v npm >/dev/null 2>&1; then continue; fi
    if [ "$pkg" = nodejs ] && command -v node >/dev/null 2>&1; then continue; fi
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Instalando paquetes: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
