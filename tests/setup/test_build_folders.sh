#!/usr/bin/env bash
# The two README commands keep separate build folders, and the test command always configures
# tests and benchmarks on, so running the app first can never leave the suite unbuilt.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
printf '#!/usr/bin/env bash\nprintf "Status: install ok installed\\n"\n' > "$work/bin/dpkg"
printf '#!/usr/bin/env bash\nexit 0\n' > "$work/bin/clang-format"
printf '#!/usr/bin/env bash\necho "cmake $*" >> "$LOG"\n' > "$work/bin/cmake"
printf '#!/usr/bin/env bash\necho "ctest in $PWD" >> "$LOG"\n' > "$work/bin/ctest"
chmod +x "$work/bin/"*
export LOG="$work/log" PATH="$work/bin:$PATH"
fail() { echo "FAIL: $*"; cat "$LOG"; exit 1; }

mkdir -p "$work/app/app"
printf '#!/usr/bin/env bash\necho "app ran" >> "$LOG"\n' > "$work/app/app/NoderaReader"
chmod +x "$work/app/app/NoderaReader"
NODERA_APP_BUILD_DIR="$work/app" NODERA_BUILD_DIR="$work/tests" "$top/scripts/run-app" >/dev/null
grep -q -- "-B $work/app .*-DNODERA_BUILD_TESTS=OFF" "$LOG" || fail "run-app did not build its own folder"
grep -q "app ran" "$LOG" || fail "run-app did not launch"

mkdir -p "$work/tests"
: > "$LOG"
NODERA_BUILD_DIR="$work/tests" "$top/scripts/run-tests" >/dev/null
grep -q -- "-B $work/tests .*-DNODERA_BUILD_TESTS=ON -DNODERA_BUILD_BENCH=ON" "$LOG" \
    || fail "run-tests did not switch tests on"
grep -q "ctest in $work/tests" "$LOG" || fail "ctest did not run in the test build"
echo "1 passed, 0 failed"
