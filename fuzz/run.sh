#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and their seed corpus, then fuzzes the four
# targets side by side for a bounded time: FUZZ_SECONDS each, 80 by default.
#
# Fails on any crash, sanitizer report, leak, input that takes more than one
# second, or file written outside the scratch folder; the input that did it
# is kept in build/fuzz/artifacts and the end of the target's log is shown.
# An input that timed out but runs within the second when tried again on
# its own was caught by a stall of the machine: the target is reported as
# cut short, not failed, and the input is kept in build/fuzz/logs.
#
# The longest input is 440000 bytes: enough for a whole disk of the layout
# (437488 bytes with its header) plus a reader script, so that the full-disk
# seed is fuzzed as it stands. Every other seed is a few KB, which keeps most
# runs fast.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${FUZZ_SECONDS:-80}

cmake --preset fuzz
cmake --build --preset fuzz

build=$root/build/fuzz
rm -rf "$build/seeds" "$build/corpus" "$build/artifacts" "$build/logs" "$build/tmp"
mkdir -p "$build"/seeds/{extract,reader,pack,manifest} "$build"/corpus/{extract,reader,pack,manifest} \
  "$build/artifacts" \
  "$build/logs" "$build/tmp"
"$build/fuzz/make_seeds" "$build/seeds/extract" "$build/seeds/reader" "$build/seeds/pack"
# The manifest's seeds: what d88unpack --json writes for a system disk and
# a data disk.
cat >"$build/seeds/manifest/two-disks" <<'SEED'
{"type":"disk","image":"a.d88","disk":1,"number":0,"letter":"A","label":"S","label_bytes":"53","write_protected":false,"media":0,"directory":true,"fill":229,"directory_fill":32,"system_area":null}
{"type":"file","image":"a.d88","disk":1,"name":"GAME.BIN","name_bytes":"47414d452e42494e","size":3,"start":4608,"end":4611,"allocation":7,"status":"written","path":"disk01/GAME.BIN"}
{"type":"disk","image":"a.d88","disk":2,"number":1,"letter":"B","label":"","label_bytes":"","write_protected":true,"media":16,"directory":true,"fill":0,"directory_fill":0,"system_area":null}
{"type":"file","image":"a.d88","disk":2,"name":"A","name_bytes":"41","size":30,"start":128,"end":158,"allocation":0,"status":"written","path":"disk02/A"}
{"type":"file","image":"a.d88","disk":2,"name":"B","name_bytes":"42","size":30,"start":128,"end":158,"allocation":null,"status":"written","path":"disk02/B"}
SEED

# The targets work in scratch folders under build/fuzz/tmp; their corpus and
# artifact paths must be absolute, as the extraction target changes folder.
export TMPDIR=$build/tmp
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run_target() {
  local name=$1
  shift
  # -close_fd_mask=2 silences the tool's own messages on standard error;
  # libFuzzer's and the sanitizers' reports still reach the log.
  "$build/fuzz/d88unpack_${name}_fuzzer" "$@" \
    -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=440000 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
    "$build/corpus/$name" "$build/seeds/$name" >"$build/logs/$name.log" 2>&1
}

echo "Fuzzing the extraction, the reader, the writer and the manifest reader for ${seconds} s each"
run_target extract -close_fd_mask=2 &
extract_pid=$!
run_target reader &
reader_pid=$!
run_target pack &
pack_pid=$!
run_target manifest &
manifest_pid=$!
status=0
for name in extract reader pack manifest; do
  pid_var=${name}_pid
  result=0
  wait "${!pid_var}" || result=$?
  log=$build/logs/$name.log
  # A machine that stalls (a virtual machine paused for seconds) makes
  # whatever input is running time out, in every target at once. An input
  # that timed out is tried once more on its own: one that runs within the
  # limit then was a stall, not a finding, and only cut the run short.
  stalled=
  timeouts=("$build/artifacts/$name-timeout-"*)
  if [ "$result" -eq 70 ] && [ -e "${timeouts[0]}" ] && [ "$(ls "$build/artifacts" | grep -c "^$name-")" -eq 1 ] &&
    ! grep -q -E 'runtime error:|fuzz finding' "$log" &&
    "$build/fuzz/d88unpack_${name}_fuzzer" -timeout=1 "${timeouts[0]}" >"$log.again" 2>&1; then
    stalled=${timeouts[0]}
    mv "$stalled" "$build/logs/"
  fi
  if [ -n "$stalled" ]; then
    echo "ok: $name target; the run was cut short when an input timed out ($(grep -m1 -o 'timeout after [0-9]* seconds' "$log")), and that input ran within the limit on its own: the machine stalled"
  elif [ "$result" -ne 0 ] || grep -q -E '^SUMMARY: |runtime error:|fuzz finding' "$log" ||
    compgen -G "$build/artifacts/$name-*" >/dev/null; then
    echo "FAIL: $name target (exit status $result); end of $log:"
    tail -n 60 "$log"
    ls -l "$build/artifacts"
    status=1
  else
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "ok: $name target, $runs inputs in ${seconds} s; $(grep -m1 -o 'cov: [0-9]* ft: [0-9]*' <(tac "$log"))"
  fi
done
exit $status
