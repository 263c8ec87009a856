#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: a plain build,
# a short run of every fuzz target, then the same suites under AddressSanitizer
# and UndefinedBehaviorSanitizer, and the threaded stress program under
# ThreadSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
(cd "$root/build" && ctest --output-on-failure -j2)
# A short run of every fuzz target (longer runs: scripts/fuzz.sh 300).
"$root/scripts/fuzz.sh" 30
"$root/scripts/build.sh" --sanitize
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build-asan" && ctest --output-on-failure -j2)
# ThreadSanitizer: only the driver and the stress program are built (kept light).
"$root/scripts/build.sh" --tsan
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
(cd "$root/build-tsan" && ctest --output-on-failure -R '^stress$')
