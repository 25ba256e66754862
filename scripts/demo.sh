#!/usr/bin/env bash
# Runs nimbus-scripts once on the example run description against the local
# demo database "nimbus_gestion". A run in normal mode deletes every script
# it loads, so it works on copies in a fresh temporary folder and leaves
# examples/ as it is. Run as root.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
program=$root/build/app/nimbus-scripts

"$root/scripts/setup.sh"

cmake -S "$root" -B "$root/build" -G Ninja
ninja -C "$root/build" nimbus-scripts

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbus-demo.XXXXXX")
cp -R "$root/examples/"* "$work/"

# The example names its scripts relative to the current folder; the run
# description written here names the copies by their full paths instead.
run=$work/demo-run.ini
DIR=$work/ LC_ALL=C awk '
  /^[[:space:]]*\[/ { in_scripts = tolower($0) ~ /^[[:space:]]*\[scripts\]/ }
  in_scripts && /^[^;].*=/ {
    eq = index($0, "=")
    value = substr($0, eq + 1)
    if (value !~ /^\//) value = ENVIRON["DIR"] value
    print substr($0, 1, eq) value
    next
  }
  { print }
' "$root/examples/demo.ini" >"$run"

arguments=("$run")
[[ -n ${DISPLAY:-}${WAYLAND_DISPLAY:-} ]] || arguments+=(--console)

# The log is the file of this run: created, or appended to, from now on.
since=$work/.started
touch "$since"
echo "demo: $program ${arguments[*]}"
status=0
"$program" "${arguments[@]}" || status=$?

echo
echo "demo: run description $run"
log=$(find "$root/build/app" -maxdepth 1 -name 'Log*.txt' -newer "$since" -print | sort | tail -n 1)
if [[ -n $log ]]; then
  echo "demo: log file $log"
  # The log is Windows-1252 with CR LF line ends.
  iconv -f WINDOWS-1252 -t UTF-8 "$log" | tr -d '\r' | sed 's/^/  | /'
else
  echo "demo: no log file was written in $root/build/app"
fi
echo "demo: the program ended with status $status"
exit "$status"
