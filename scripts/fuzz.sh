#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang in build-fuzz/ (under AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), two at
# a time, starting from its committed seed corpus (and fuzz/<name>.dict, the
# words it gives meaning to, when there is one). Fails when any harness finds
# a crash, a sanitizer report, a broken property or an input that runs longer
# than 10 s; the input is kept in build-fuzz/fuzz/crashes/<name>/ and can be
# replayed with build-fuzz/fuzz/<name>_fuzz FILE. Run as root.
#   scripts/fuzz.sh [SECONDS]
# NIMBUS_BUILD_DIR names another build folder; NIMBUS_JOBS limits ninja's jobs;
# NIMBUS_FUZZ_PARALLEL sets how many harnesses run at once.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
[[ $seconds =~ ^[0-9]+$ ]] || {
  echo "usage: $0 [SECONDS]" >&2
  exit 2
}
parallel=${NIMBUS_FUZZ_PARALLEL:-2}
build=$root/${NIMBUS_BUILD_DIR:-build-fuzz}

"$root/scripts/setup.sh"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DNIMBUS_FUZZ=ON -DNIMBUS_BENCH=OFF
mapfile -t names <"$build/fuzz/fuzzers.txt"
ninja -C "$build" ${NIMBUS_JOBS:+-j "$NIMBUS_JOBS"} "${names[@]/%/_fuzz}"

# run NAME: one harness; its output goes to a log, new inputs to a working
# corpus, so the committed seeds stay as they are.
run() {
  local name=$1 out=$build/fuzz dict=()
  mkdir -p "$out/work/$name" "$out/crashes/$name"
  [[ ! -f $root/fuzz/$name.dict ]] || dict=(-dict="$root/fuzz/$name.dict")
  "$out/${name}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 "${dict[@]}" \
    -print_final_stats=1 -artifact_prefix="$out/crashes/$name/" \
    "$out/work/$name" "$root/fuzz/corpus/$name" >"$out/$name.log" 2>&1
}

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
declare -A pids=()
failed=()
report() {
  local name=$1 status=$2 log=$build/fuzz/$1.log
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if ((status == 0)); then
    printf 'fuzz: %-16s ok, %s inputs in %s s\n' "$name" "${runs:-?}" "$seconds"
  else
    printf 'fuzz: %-16s FAILED (status %d); input kept in %s\n' "$name" "$status" \
      "$build/fuzz/crashes/$name/"
    grep -E -A 30 '^(==[0-9]+==ERROR|.*runtime error|.*property failed|.*ALARM|.*deadly signal)' \
      "$log" | head -n 60 || tail -n 40 "$log"
    failed+=("$name")
  fi
}
wait_one() {
  local pid name status=0
  wait -n -p pid "${!pids[@]}" || status=$?
  name=${pids[$pid]}
  unset "pids[$pid]"
  report "$name" "$status"
}
for name in "${names[@]}"; do
  while ((${#pids[@]} >= parallel)); do wait_one; done
  run "$name" &
  pids[$!]=$name
done
while ((${#pids[@]} > 0)); do wait_one; done

((${#failed[@]} == 0)) || echo "fuzz: failed: ${failed[*]}" >&2
echo "fuzz: $((${#names[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
((${#failed[@]} == 0))
