#!/usr/bin/env bash
# Builds the reference host and the modules, shows what qvhost finds, and runs each
# example scene's command, saving the results under out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
qvhost=build/default/bin/qvhost
"$qvhost" list "$@"
mkdir -p out
echo
"$qvhost" run CropRevert --scene examples/crop-revert.qvscene.json --save out/crop-revert.qvscene.json
echo
"$qvhost" run JitterKeys --scene examples/jitter-keys.qvscene.json --set Seed=42 --save out/jitter-keys.qvscene.json
echo
"$qvhost" run InterpolatorSweep --scene examples/interpolator-sweep.qvscene.json --set ChosenInterpolator=constant \
  --save out/interpolator-sweep.qvscene.json
echo
"$qvhost" run NoteSheet --scene examples/note-sheet.qvscene.json \
  --time 540000 --set "EditText=Camera cuts to the crowd" --control ADDK --save out/note-sheet.qvscene.json
echo
"$qvhost" run FollowGain --scene examples/target-following.qvscene.json --time 0 --time 180000 --time 360000 \
  --save out/target-following.qvscene.json
echo
"$qvhost" run ExtentFollow --scene examples/target-following.qvscene.json --on Marker --control obj1 --pick Crate \
  --time 0 --time 360000
echo
"$qvhost" run NoteSheet --scene examples/note-sheet.qvscene.json --control BUTN --save-as out/notes.html
