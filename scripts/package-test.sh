#!/usr/bin/env bash
# Builds the Debian package from the Release build, unpacks it into a fresh
# folder with dpkg -x and runs the programs from there, with nothing but the
# system's libraries (Qt, OpenSSL). Run as root after `scripts/test.sh
# --release`, whose build-release/ it reuses; NIMBUS_BUILD_DIR names another
# build folder. As root it also runs the installed program as a user who
# cannot write beside it, and checks that the log lands where the window says.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/${NIMBUS_BUILD_DIR:-build-release}

if [[ ! -f $build/CPackConfig.cmake ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBUS_BENCH=OFF
fi
# cpack packs what is built and does not build: bring the packaged targets up
# to date (nothing to do right after test.sh --release).
ninja -C "$build" ${NIMBUS_JOBS:+-j "$NIMBUS_JOBS"} nimbus-scripts nimbus-scripttool manual_pages

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work" # the unprivileged run below must reach the programs

fail() {
  echo "package test: $*" >&2
  exit 1
}

if ! (cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log" >&2
  fail "cpack failed"
fi
debs=("$work"/package/nimbus-scripts_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single .deb"
deb=${debs[0]}
echo "package: $(basename "$deb")"

depends=$(dpkg-deb --field "$deb" Depends)
for package in libfbclient2 qt6-qpa-plugins libqt6widgets6 libssl3; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

dpkg -x "$deb" "$work/root"
usr=$work/root/usr
for file in bin/nimbus-scripts bin/nimbus-scripttool \
  share/doc/nimbus-scripts/README.md share/doc/nimbus-scripts/demo.ini \
  share/man/man1/nimbus-scripts.1.gz share/man/man1/nimbus-scripttool.1.gz; do
  [[ -f $usr/$file ]] || fail "missing /usr/$file"
done

# The unpacked programs alone: no library path, nothing from the build.
run() { env -u LD_LIBRARY_PATH -u QT_PLUGIN_PATH "$@"; }
for program in nimbus-scripts nimbus-scripttool; do
  if ldd "$usr/bin/$program" | grep -e 'not found' -e "$root"; then
    fail "$program needs libraries the system does not give"
  fi
done

printf 'create table t (a integer);\nset term ^ ;\ncreate procedure p as begin end^\nset term ; ^\ninsert into t values (1);\n' \
  >"$work/small.sql"
parsed=$(run "$usr/bin/nimbus-scripttool" parse "$work/small.sql")
[[ $(tail -n 1 <<<"$parsed") == "statements=3 directives=0 connects=0 dml=0 unrecognized=0 terminator=;" ]] ||
  fail "nimbus-scripttool parse printed: $parsed"

version=$(dpkg-deb --field "$deb" Version)
[[ $(run "$usr/bin/nimbus-scripts" --version) == "nimbus-scripts $version" ]] ||
  fail "--version does not print nimbus-scripts $version"
help=$(run "$usr/bin/nimbus-scripts" --help) || fail "--help exited with $?"
[[ $help == "Usage: nimbus-scripts "* ]] || fail "--help printed: $help"

if [[ $(id -u) -eq 0 ]] && command -v setpriv >/dev/null && id nobody >/dev/null 2>&1; then
  # A run description whose only script is missing: the run logs and ends
  # without a database.
  home=$work/home
  mkdir "$home"
  chown nobody "$home"
  printf '[scripts]\na=%s/nowhere.sql\n' "$work" >"$work/run.ini"
  chmod 644 "$work/run.ini"
  out=$(setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$home" "$usr/bin/nimbus-scripts" "$work/run.ini" </dev/null) || true
  first=$(head -n 1 <<<"$out")
  log=${first#Journal : }
  [[ $first == "Journal : $home/.local/state/nimbus-scripts/Log"*.txt && -f $log ]] ||
    fail "the window does not name a log in the user's state folder: $out"
  grep -q "nowhere.sql" "$log" || fail "the log $log lacks the run's lines"
  [[ $(find "$usr/bin" -type f | wc -l) -eq 2 ]] || fail "the run wrote beside the programs"
  echo "log of an unprivileged run: ${log#"$work"/}"
fi

echo "package test passed"
