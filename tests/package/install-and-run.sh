#!/usr/bin/env bash
# The Debian package as a user gets it: builds it from the build folder, unpacks it into a
# temporary root the way dpkg installs it (dpkg -x needs no root), and runs a batch job with
# the unpacked program from another folder, with a fresh home, as an ordinary user would.
# Usage: install-and-run.sh CPACK BUILD_DIR RIVANET_SYNTH
set -euo pipefail
cpack=$1 build=$2 synth=$3

fail() {
  echo "package test: $*" >&2
  exit 1
}
command -v dpkg-deb >/dev/null || { echo "package test: no dpkg-deb, not a Debian system"; exit 77; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$tmp"/pkg/rivanetappend_*.deb)

# The libraries the build linked with are declared by their Debian packages.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libgdal libsqlite3 libqt6widgets6; do
  [[ $depends == *"$lib"* ]] || fail "Depends names no $lib package: $depends"
done

root=$tmp/root
dpkg -x "$deb" "$root"
share=$root/usr/share
for f in "$root/usr/bin/RivanetAppend" "$share/rivanetappend/RivanetAppend.ini" \
         "$share/rivanetappend/VatWorkSkel.mdb" "$share/rivanetappend/Skel/hydrography/RVXFlowline.shp" \
         "$share/man/man1/rivanetappend.1.gz" "$share/applications/rivanetappend.desktop"; do
  [ -f "$f" ] || fail "the package lacks ${f#"$root"}"
done
# The desktop entry starts the installed program and names an installed icon.
desktop=$share/applications/rivanetappend.desktop
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$root/usr/bin/$exec_name" ] || fail "the desktop entry starts $exec_name, which is not installed"
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon $icon is not installed"
if command -v groff >/dev/null; then
  warnings=$(gzip -dc "$share/man/man1/rivanetappend.1.gz" | groff -man -ww -z -Tutf8 2>&1)
  [ -z "$warnings" ] || fail "the manual page does not format cleanly: $warnings"
fi

# Two small example workspaces and a run file.
work=$tmp/work
"$synth" --out "$work/input" --count 2 --cells 100 --seed 7 >/dev/null
mkdir -p "$work/output" "$tmp/elsewhere" "$tmp/home"
printf '[Run]\nInputFolder=input\nOutputFolder=output\nListFile=input/workspaces.txt\n' >"$work/run.ini"
touch "$tmp/unpacked"
sleep 1  # so that anything written into the unpacked tree is newer than the stamp

cd "$tmp/elsewhere"
installed() {
  env -u RIVANETAPPEND_HOME -u XDG_DATA_HOME HOME="$tmp/home" "$root/usr/bin/RivanetAppend" "$@"
}
app=$tmp/home/.local/share/RivanetAppend
help=$(installed --help)
[[ $help == *"Application folder (log, settings, skeleton): $app"* ]] ||
  fail "--help does not name the per-user folder: $help"

status=0
installed "$work/run.ini" 2>"$tmp/stderr" || status=$?
[ "$status" -eq 0 ] || { cat "$tmp/stderr" >&2; fail "the batch run ended with status $status"; }

# The log is in the per-user folder, made from the installed files.
log=$app/Active.log
[ -f "$log" ] || fail "no activity log in the per-user folder $app"
grep -q "processed $work/input/workspaces.txt and ran for .* Succeeded" "$log" ||
  fail "the log has no summary ending in Succeeded: $(cat "$log")"
cmp -s "$log" "$app/RivanetAppend.log" || fail "RivanetAppend.log is not a copy of Active.log"
cmp -s "$app/RivanetAppend.ini" "$share/rivanetappend/RivanetAppend.ini" ||
  fail "the per-user settings file is not the installed one"

# The output was built from the skeleton and got every workspace's text files.
while IFS=$'\r' read -r ws _ && [ -n "$ws" ]; do
  grep -q "processed folder $ws from input file" "$log" || fail "the log does not name workspace $ws"
  for text in "$work/input/$ws"/*.txt; do
    [ -f "$work/output/$(basename "$text")" ] || fail "$text did not reach the output"
  done
done <"$work/input/workspaces.txt"
for f in hydrography/RVXFlowline.shp Drainage/catchment.dbf streamgageevent.shp; do
  [ -f "$work/output/$f" ] || fail "the output lacks $f"
done
for d in elev_unit fac_fdr_unit; do [ -d "$work/output/$d" ] || fail "the output lacks $d/"; done

# The run wrote nothing into the installed tree or the folder it was started from.
written=$(find "$root" "$tmp/elsewhere" -newer "$tmp/unpacked")
[ -z "$written" ] || fail "the run wrote into the installed tree: $written"
echo "package test: $(basename "$deb") installs and runs"
