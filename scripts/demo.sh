#!/usr/bin/env bash
# A short tour of volmek on a new embedded database in a temporary directory.
set -euo pipefail
BUILD=${1:-build}
VOLMEK="$(cd "$BUILD" && pwd)/volmek"
DEMO=$(mktemp -d /tmp/volmek-demo-XXXXXX)
echo "== Directorio de la demo: $DEMO"
