#!/bin/sh
# The whole program against the read floor and the contract floor: builds it once for each way
# of choosing the search kernel (the best at run time, and each that other CPUs fall back on) in
# BUILD/bench/, every build reading the same list, then runs them side by side with the two
# floors (process_bench.cc, contract_floor.cc);
# then lines piped in all at once against the same lines one at a time.
#
#   bench/process_bench.sh BUILD      BENCH_LIST (Debian's wamerican-insane), BENCH_ROUNDS (21)
#                                     and BENCH_PIPED_ROUNDS (5) in the environment change what
#                                     it runs
set -eu
build=$1
list=${BENCH_LIST:-/usr/share/dict/american-english-insane}
rounds=${BENCH_ROUNDS:-21}
if [ ! -r "$list" ]; then
  echo "$0: cannot read $list (Debian package wamerican-insane)" >&2
  exit 1
fi
bench="$(pwd)/$build/bench"
mkdir -p "$bench/share/spell_checker"
ln -sf "$list" "$bench/share/spell_checker/words.txt"
case $(uname -m) in
  x86_64 | amd64 | i?86) kernels="auto sse2 portable" ;;
  *) kernels="auto portable" ;;
esac
set --
for kernel in $kernels; do
  cmake -S . -B "$bench/$kernel" -DSPELL_CHECKER_KERNEL="$kernel" -DBUILD_TESTING=OFF \
    -DDICTIONARY_DIRECTORY="$bench/share/spell_checker/" >/dev/null
  cmake --build "$bench/$kernel" --target spell_checker >/dev/null
  set -- "$@" "$kernel=$bench/$kernel/spell_checker"
done
"$build/tests/process_bench" bench/typed_lines.txt "$list" "$rounds" "$build/tests/contract_floor" "$@"
# Lines that a script pipes in, all waiting at once, against the same lines one at a time.
"$build/tests/process_bench" --piped "$list" "${BENCH_PIPED_ROUNDS:-5}" "$bench/auto/spell_checker" \
  "$build/tests/contract_floor" 60 1000 10000
