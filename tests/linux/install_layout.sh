#!/bin/sh
# install_layout.sh <build dir>: cmake --install into a scratch prefix puts the programs with their
# companion files in a folder of their own, working launchers on PATH, the desktop entry, the icon
# and the manual page.
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"
folder="$prefix/lib/morvane"
for f in morvane_qt morvane-fill "Значок.ico" "Лицензионное соглашение.txt" "Справка.txt"; do
  [ -f "$folder/$f" ] || fail "missing $folder/$f"
done
[ "$(ls "$folder" | wc -l)" = 5 ] || fail "the program folder holds more than the program: $(ls "$folder")"
[ -x "$prefix/bin/morvane_qt" ] || fail "no launcher"
grep -q '^Exec=morvane_qt$' "$prefix/share/applications/morvane_qt.desktop" || fail "desktop entry"
[ -f "$prefix/share/icons/hicolor/256x256/apps/morvane.png" ] || fail "icon"
grep -q '^\.TH MORVANE-FILL 1 .*"Morvane [0-9]' "$prefix/share/man/man1/morvane-fill.1" || fail "manual page"

# The launcher reaches the program through a link on PATH as well; a start that fails ends at once,
# a good one keeps the window open until timeout stops it.
mkdir "$prefix/path" && ln -s "$prefix/bin/morvane_qt" "$prefix/bin/morvane-fill" "$prefix/path/"
[ "$(PATH="$prefix/path:$PATH" morvane-fill --version)" = "morvane-fill 1.2" ] || fail "the installed morvane-fill did not start"
QT_QPA_PLATFORM=offscreen PATH="$prefix/path:$PATH" timeout 3 morvane_qt
[ $? = 124 ] || fail "the installed program did not start"
echo PASS
