#!/usr/bin/env bash
# Installs the Debian packages one of the README commands needs, when any is missing,
# without the packages they merely recommend.
#   install-deps.sh demo   building the host, the modules and the tests, and running them
#   install-deps.sh test   the above and the test tools: the sanitizer runtime, clang and
#                          libFuzzer, the 32-bit compiler, nm and the headless browser
#   install-deps.sh bench  the above, Google Benchmark and jq
set -euo pipefail
demo=(cmake ninja-build g++ libgtest-dev libgmock-dev nlohmann-json3-dev libjpeg-dev)
test=("${demo[@]}" libasan8 libubsan1 clang libclang-rt-14-dev g++-multilib binutils chromium)
bench=("${test[@]}" libbenchmark-dev jq)
case "${1:-}" in
  demo) packages=("${demo[@]}") ;;
  test) packages=("${test[@]}") ;;
  bench) packages=("${bench[@]}") ;;
  *) echo "usage: $0 demo|test|bench" >&2; exit 2 ;;
esac
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
