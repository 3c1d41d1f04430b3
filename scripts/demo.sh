#!/usr/bin/env bash
# Builds the reference host and the modules, shows what qvhost finds, and runs every
# module on the example scenes, saving the results (and NoteSheet's page) under out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh demo
cmake --preset default >/dev/null
cmake --build --preset default
qvhost=build/default/bin/qvhost
"$qvhost" list "$@"
echo
"$qvhost" demo --out out
