#!/bin/sh
# Instructions per byte of the list for kernels of a build for a CPU that this machine only
# emulates, where they cannot be timed: qemu's user-mode emulator, one instruction per
# translation block, logs every instruction that one lookup of each typed line executes; the
# program's start, counted alone, is taken off. Slow: some minutes per kernel.
#
#   bench/count_instructions.sh BUILD EMULATOR KERNEL...   e.g. build/aarch64 qemu-aarch64 neon
#                                                          BENCH_LIST (the bundled list) in the
#                                                          environment changes the list
set -eu
build=$1
emulator=$2
shift 2
list=${BENCH_LIST:-data/words.txt}
program="$build/tests/lookup_instructions"
if [ ! -x "$program" ]; then
  echo "$0: no $program: build $build first (make aarch64)" >&2
  exit 1
fi
bytes=$(wc -c <"$list")
lines=$(wc -l <bench/typed_lines.txt)
# count KERNEL REPEAT: the instructions the program executes
count() {
  "$emulator" -singlestep -d exec,nochain -D /dev/stderr \
    "$program" "$1" "$list" bench/typed_lines.txt "$2" 2>&1 >/dev/null | grep -c '^Trace'
}
echo "$lines typed lines on $list ($bytes bytes), instructions per byte of the list:"
for kernel in "$@"; do
  start=$(count "$kernel" 0)
  all=$(count "$kernel" 1)
  awk -v k="$kernel" -v n=$((all - start)) -v b="$bytes" -v l="$lines" \
    'BEGIN { printf "%-10s %6.3f  (%d instructions per line)\n", k, n / (b * l), n / l }'
done
