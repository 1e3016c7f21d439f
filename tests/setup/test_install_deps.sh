#!/usr/bin/env bash
# scripts/install-deps asks dpkg for each package and installs exactly the missing ones with
# apt-get, after an update; with nothing missing it leaves apt-get alone.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat > "$work/bin/dpkg" <<'FAKE'
#!/usr/bin/env bash
[ "$1" = "-s" ] || exit 2
for p in ${MISSING:-}; do
    if [ "$p" = "$2" ]; then echo "dpkg-query: package '$2' is not installed" >&2; exit 1; fi
done
printf 'Package: %s\nStatus: install ok installed\n' "$2"
FAKE
cat > "$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >> "$APT_LOG"
FAKE
chmod +x "$work/bin/dpkg" "$work/bin/apt-get"
export APT_LOG="$work/apt.log"
fail() { echo "FAIL: $*"; exit 1; }

PATH="$work/bin:$PATH" MISSING="libmupdf-dev xvfb" "$top/scripts/install-deps" >/dev/null
[ "$(sed -n 1p "$APT_LOG")" = "update" ] || fail "apt-get update did not come first: $(cat "$APT_LOG")"
[ "$(sed -n 2p "$APT_LOG")" = "install -y --no-install-recommends libmupdf-dev xvfb" ] \
    || fail "wrong install line: $(sed -n 2p "$APT_LOG")"
[ "$(wc -l < "$APT_LOG")" -eq 2 ] || fail "unexpected apt-get calls: $(cat "$APT_LOG")"

rm -f "$APT_LOG"
PATH="$work/bin:$PATH" MISSING="" "$top/scripts/install-deps" >/dev/null
[ ! -e "$APT_LOG" ] || fail "apt-get ran although nothing was missing: $(cat "$APT_LOG")"

# Every package the build names must be one install-deps knows.
for p in qtbase5-dev libqt5sql5-sqlite libmupdf-dev libharfbuzz-dev libfreetype-dev xvfb \
    dpkg-dev desktop-file-utils appstream lintian man-db; do
    grep -qw -- "$p" "$top/scripts/install-deps" || fail "install-deps does not list $p"
done
echo "1 passed, 0 failed"
