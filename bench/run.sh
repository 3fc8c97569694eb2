#!/usr/bin/env bash
# Benchmark: d88unpack against GNU tar extracting the very same 2,560 files,
# into an empty folder and again over their own earlier output; listing
# against extracting the same image; a hostile image against a clean one
# of the same size; and d88pack putting one file on the 64-disk image
# against copying the image and flushing the copy.
#
#   bench/run.sh [D88UNPACK]
#
# D88UNPACK is the binary to measure, d88pack the one beside it; without it
# a Release build of both is made in build/bench. The image generator is always built there. Environment:
#   BENCH_RUNS  timed runs of each command (default 21, at least 15)
#   BENCH_DIR   folder in which the work folder d88unpack-bench, holding the
#               images and the extraction folders, is made and at the end
#               removed (default build/bench); its file system is part of
#               what is measured
#
# Needs cmake, a C++17 compiler, GNU tar, GNU time (/usr/bin/time) and
# python3; no GoogleTest (the generator uses the image builder alone). Prints
# the figures and whether each target is met; exits 1 when one is missed.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/bench"
runs="${BENCH_RUNS:-21}"
work="${BENCH_DIR:-$build}/d88unpack-bench"

if ! [[ "$runs" =~ ^[0-9]+$ ]] || [ "$runs" -lt 15 ]; then
  echo "bench/run.sh: BENCH_RUNS must be a number of at least 15" >&2
  exit 2
fi
if ! [ -x /usr/bin/time ]; then
  echo "bench/run.sh: GNU time is needed as /usr/bin/time (apt-get install time)" >&2
  exit 2
fi
tar_bin="$(command -v tar)"
tar_version="$("$tar_bin" --version 2>/dev/null || true)"
if [[ "$tar_version" != *"GNU tar"* ]]; then
  echo "bench/run.sh: GNU tar is needed" >&2
  exit 2
fi

targets=(make_bench_images)
[ $# -ge 1 ] || targets+=(d88unpack d88pack)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null
if [ $# -ge 1 ]; then
  tool="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
else
  tool="$build/app/d88unpack"
fi
pack="$(dirname "$tool")/d88pack"
for binary in "$tool" "$pack"; do
  [ -x "$binary" ] || { echo "bench/run.sh: $binary is not an executable" >&2; exit 2; }
done

rm -rf "$work"
mkdir -p "$work/images" "$work/reference"
work="$(cd "$work" && pwd)"
images="$work/images"
"$build/bench/make_bench_images" "$images" >/dev/null

# The tar archive holds exactly the files that d88unpack writes.
(cd "$work/reference" && "$tool" "$images/many.d88" >/dev/null)
(cd "$work/reference" && find . -maxdepth 1 -type f -printf '%P\n' | LC_ALL=C sort) >"$images/names"
files=$(wc -l <"$images/names")
if [ "$files" -ne 2560 ]; then
  echo "bench/run.sh: expected 2560 files from many.d88, got $files" >&2
  exit 1
fi
"$tar_bin" -cf "$images/files.tar" -C "$work/reference" -T "$images/names"
rm -rf "$work/reference"

# The hostile image must give what the same disk laid out plainly gives, or
# its time would mean nothing.
mkdir "$work/hostile" "$work/plain"
(cd "$work/hostile" && "$tool" "$images/hostile.d88" >../hostile.out)
(cd "$work/plain" && "$tool" "$images/hostile-plain.d88" >../plain.out)
if ! cmp -s "$work/hostile.out" "$work/plain.out" || ! diff -r "$work/hostile" "$work/plain" >/dev/null; then
  echo "bench/run.sh: hostile.d88 does not extract to what the plain disk gives" >&2
  exit 1
fi
rm -rf "$work/hostile" "$work/plain" "$work/hostile.out" "$work/plain.out"

compiler="$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")"
echo "Machine:   $(nproc) cores, $(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)"
echo "OS:        $(sed -n 's/^PRETTY_NAME=//p' /etc/os-release | tr -d '"'), kernel $(uname -r)"
echo "Compiler:  $("$compiler" --version | head -n 1) (the build in build/bench)"
echo "Tar:       ${tar_version%%$'\n'*}"
echo "Work area: $work ($(df --output=fstype "$work" | tail -n 1))"
echo "Runs:      $runs timed runs of each command, alternating, each in a folder of its own"

# compare TITLE MEASURE-ARGUMENT...: times two commands with measure.py,
# prints the title and the figures, and leaves the ratios A/B of time, memory
# and CPU time in $ratios.
compare() {
  local title=$1 figures
  shift
  echo
  echo "$title"
  figures="$(python3 "$root/bench/measure.py" "$@")"
  grep -v '^RESULT' <<<"$figures"
  ratios="$(sed -n 's/^RESULT //p' <<<"$figures")"
}
extract_many=("$tool" "$images/many.d88")
tar_extract=("$tar_bin" -xf "$images/files.tar")

# The listing first, while the file system holds no deleted runs of earlier
# comparisons: removing tens of thousands of files leaves ext4 slower to
# create the next ones for a while, which would flatter the listing.
compare "Listing the same image against extracting it into an empty folder:" \
  "$work/runs" "$runs" list extract -- "$tool" --list "$images/many.d88" -- "${extract_many[@]}"
read -r list_ratio _ list_cpu_ratio <<<"$ratios"

compare "Extracting 2,560 files ($(du -k "$images/many.d88" | cut -f1) KiB image, $(du -k \
  "$images/files.tar" | cut -f1) KiB tar archive):" --same-files "$work/runs" "$runs" \
  d88unpack tar -- "${extract_many[@]}" -- "${tar_extract[@]}"
read -r time_ratio memory_ratio cpu_ratio <<<"$ratios"

# Each run's folder already holds what its command wrote there before (put
# there untimed): GNU tar's default removes each existing file and creates it
# anew, as d88unpack does.
compare "Extracting the same 2,560 files again, over each command's own earlier output:" \
  --same-files --refill "$work/runs" "$runs" d88unpack tar -- "${extract_many[@]}" -- "${tar_extract[@]}"
read -r again_ratio _ again_cpu_ratio <<<"$ratios"

compare "Hostile image against a clean image of the same size ($(stat -c %s \
  "$images/hostile.d88") bytes):" "$work/runs" "$runs" hostile clean \
  -- "$tool" "$images/hostile.d88" -- "$tool" "$images/clean.d88"
read -r hostile_ratio _ hostile_cpu_ratio <<<"$ratios"

# A safe rewrite of an image writes it whole and flushes it: d88pack does
# that and little more. Each run puts the same file on the last disk again,
# replacing what the run before put there.
cp "$images/many.d88" "$images/pack.d88"
head -c 3000 "$images/many.d88" >"$images/ONE.BIN"
"$pack" -d 64 "$images/pack.d88" "$images/ONE.BIN"
compare "Putting one file on the 64-disk image ($(du -k "$images/pack.d88" | cut -f1) KiB) against \
cp and sync of it:" "$work/runs" "$runs" d88pack copy \
  -- "$pack" -d 64 "$images/pack.d88" "$images/ONE.BIN" \
  -- sh -c 'cp "$1" COPY && sync COPY' sh "$images/pack.d88"
read -r pack_ratio _ pack_cpu_ratio <<<"$ratios"
pack_peak="$(/usr/bin/time -f %M "$pack" -d 64 "$images/pack.d88" "$images/ONE.BIN" 2>&1 | tail -n 1)"
image_kib="$(du -k "$images/pack.d88" | cut -f1)"
pack_share="$(awk -v p="$pack_peak" -v i="$image_kib" 'BEGIN { printf "%.3f", p / i }')"

missed=0
verdict() {  # verdict VALUE LIMIT TEXT; LIMIT may be a fraction, such as 1/3
  if awk -v v="$1" -v l="$2" 'BEGIN { n = split(l, p, "/"); exit !(v <= (n == 2 ? p[1] / p[2] : l)) }'; then
    printf '  met     %s\n' "$3"
  else
    printf '  MISSED  %s\n' "$3"
    missed=1
  fi
}
echo
echo "Targets:"
verdict "$time_ratio" 0.9 "time d88unpack/tar = $time_ratio (at most 0.9; CPU time $cpu_ratio)"
verdict "$memory_ratio" 1.0 "peak memory d88unpack/tar = $memory_ratio (at most 1.0)"
verdict "$again_ratio" 1.0 \
  "time again over earlier output d88unpack/tar = $again_ratio (at most 1.0; CPU time $again_cpu_ratio)"
verdict "$list_ratio" 1/3 "time list/extract = $list_ratio (at most 1/3; CPU time $list_cpu_ratio)"
verdict "$hostile_ratio" 20 "time hostile/clean = $hostile_ratio (at most 20; CPU time $hostile_cpu_ratio)"
verdict "$pack_ratio" 2 "time d88pack/(cp && sync) = $pack_ratio (at most 2; CPU time $pack_cpu_ratio)"
verdict "$pack_share" 1/4 \
  "peak memory d88pack/image = $pack_peak KiB/$image_kib KiB = $pack_share (at most 1/4: one disk and the copy buffer)"
rm -rf "$work"
exit "$missed"
