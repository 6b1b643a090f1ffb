#!/usr/bin/env bash
# Builds the Debian package and checks it as a user would get it: unpacks it
# into a temporary root, checks that every library the programs need is
# found, runs the unpacked tovira-cli on the example plan and starts the
# unpacked tovira under Xvfb until its window shows up.
#
#   scripts/check-package.sh              # builds in build-package/
#   BUILD_DIR=build scripts/check-package.sh   # packages an existing build
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE_DIR=$PWD
BUILD_DIR=${BUILD_DIR:-build-package}

# A new build folder gets only what the package holds; an existing one (CI
# passes the tests' folder) keeps its settings and its built programs.
if [ -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" "$@"
else
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOVIRA_BUILD_TESTS=OFF -DTOVIRA_BUILD_BENCH=OFF "$@"
fi
cmake --build "$BUILD_DIR" --target tovira tovira-cli
rm -f "$BUILD_DIR"/tovira_*.deb
(cd "$BUILD_DIR" && cpack -G DEB)
DEB=$(ls "$BUILD_DIR"/tovira_*_*.deb)
echo "package: $DEB"
dpkg-deb --field "$DEB" Package Version Architecture Depends
# HTTPS downloads check the provider's certificate against the system's
# certificate authorities, which only ca-certificates brings.
DEPENDS=$(dpkg-deb --field "$DEB" Depends)
if ! grep -qE '(^|,)[[:space:]]*ca-certificates([[:space:]]|,|$)' <<<"$DEPENDS"; then
  echo "the package does not depend on ca-certificates: $DEPENDS" >&2
  exit 1
fi

WORK=$(mktemp -d)
APP_PID=""
cleanup() {
  if [ -n "$APP_PID" ]; then kill "$APP_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

ROOT=$WORK/root
dpkg -x "$DEB" "$ROOT"
for f in usr/bin/tovira usr/bin/tovira-cli usr/share/applications/tovira.desktop \
         usr/share/icons/hicolor/scalable/apps/tovira.svg \
         usr/share/icons/hicolor/48x48/apps/tovira.png \
         usr/share/metainfo/io.github.tovira.Tovira.metainfo.xml; do
  [ -e "$ROOT/$f" ] || { echo "missing from the package: /$f" >&2; exit 1; }
done

for bin in "$ROOT"/usr/bin/tovira "$ROOT"/usr/bin/tovira-cli; do
  if ldd "$bin" | grep -q "not found"; then
    echo "unresolved libraries of $bin:" >&2
    ldd "$bin" | grep "not found" >&2
    exit 1
  fi
done

if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$ROOT"/usr/share/metainfo/io.github.tovira.Tovira.metainfo.xml
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$ROOT"/usr/share/applications/tovira.desktop
fi

# The programs keep their files in the user's data folder: a home of our own.
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/.local/share \
  XDG_CONFIG_HOME=$WORK/home/.config XDG_RUNTIME_DIR=$WORK/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

"$ROOT"/usr/bin/tovira-cli show "$SOURCE_DIR"/examples/006675.ini > "$WORK/show.txt"
[ -s "$WORK/show.txt" ] || { echo "tovira-cli show printed nothing" >&2; exit 1; }
echo "tovira-cli show: $(wc -l < "$WORK/show.txt") lines"

# The window, on a virtual screen; its title starts with the program's name.
export ROOT
xvfb-run -a bash -c '
  "$ROOT"/usr/bin/tovira &
  pid=$!
  title=""
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "^Zororad" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then title=$(xdotool getwindowname "$id"); break; fi
    if ! kill -0 "$pid" 2>/dev/null; then echo "tovira ended before showing its window" >&2; exit 1; fi
    sleep 0.2
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ -n "$title" ] || { echo "no tovira window within 20 seconds" >&2; exit 1; }
  echo "window: $title"
'
[ -d "$HOME/.local/share/Tovira" ] || { echo "no files in ~/.local/share/Tovira" >&2; exit 1; }
[ ! -e "$ROOT/usr/bin/Config.ini" ] || { echo "the program wrote into usr/bin" >&2; exit 1; }
echo "package check passed"
