#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang, address sanitizer) and
# runs each for the given number of seconds (60 by default):
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# New inputs collect in build-fuzz/corpus/<target>/, findings in
# build-fuzz/findings/; the seeds of fuzz/corpus/<target>/ are read only.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
# The stand-in's targets, then the client's.
[ ${#targets[@]} -gt 0 ] ||
    targets=(fuzz_frame fuzz_dispatch fuzz_mlang fuzz_tls fuzz_import_file fuzz_match_file fuzz_reply
             fuzz_datanorm fuzz_catalogue fuzz_sheet)

[ -f build-fuzz/CMakeCache.txt ] ||
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUENDRA_FUZZ=ON -DQUENDRA_BUILD_TESTS=OFF
cmake --build build-fuzz -j2 --target "${targets[@]}"

mkdir -p build-fuzz/findings
for t in "${targets[@]}"; do
    mkdir -p "build-fuzz/corpus/$t"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536
             -artifact_prefix="build-fuzz/findings/$t-" -print_final_stats=1)
    [ "$t" = fuzz_mlang ] && options+=(-dict=fuzz/mlang.dict)
    echo "== $t, $seconds s"
    "build-fuzz/bin/$t" "${options[@]}" "build-fuzz/corpus/$t" "fuzz/corpus/$t" \
        2>"build-fuzz/$t.log" || { tail -40 "build-fuzz/$t.log"; exit 1; }
    grep -E "DONE|stat::number_of_executed_units|stat::average_exec_per_sec" \
        "build-fuzz/$t.log" || true
done
