#!/usr/bin/env bash
# Builds the reference host and the modules, then shows what qvhost finds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
build/default/bin/qvhost list "$@"
