#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz (or $LUMO_FUZZ_BUILD) and runs each
# one in turn, one process at a time, for the given number of seconds (default 60).
#
#   fuzz/run.sh [seconds] [target...]     targets: qrcode vcard picture vcardreader csv
#                                         document ndef (default all)
#
# Each target starts from its committed seeds (fuzz/corpus/<target>) plus what earlier runs
# found (build-fuzz/corpus/<target>, where new inputs go), with the words of
# fuzz/dict/<target>.dict when there is one. The inputs in fuzz/regressions/<target> are
# replayed first. A finding is written to build-fuzz/artifacts/ and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(qrcode vcard picture vcardreader csv document ndef)

out=${LUMO_FUZZ_BUILD:-${FUZZ_BUILD:-build-fuzz}}
if [[ ! -f $out/CMakeCache.txt ]]; then
    CC=clang CXX=clang++ cmake -S fuzz -B $out -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build $out -j2 --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p $out/artifacts
summary=()
status=0
passed=0
for t in "${targets[@]}"; do
    bin=$out/fuzz_$t
    mkdir -p $out/corpus/$t
    if compgen -G "fuzz/regressions/$t/*" >/dev/null; then
        "$bin" -runs=1 fuzz/regressions/$t/* >$out/$t-regressions.log 2>&1 || {
            echo "fuzz_$t: a regression input fails again, see $out/$t-regressions.log"
            status=1
            continue
        }
    fi
    log=$out/$t.log
    dict=()
    [[ -f fuzz/dict/$t.dict ]] && dict=(-dict=fuzz/dict/$t.dict)
    # Documents hold small pictures besides their text.
    max_len=4096
    [[ $t == document ]] && max_len=16384
    echo "fuzz_$t: ${seconds} s"
    if "$bin" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=$max_len -print_final_stats=1 \
        -artifact_prefix=$out/artifacts/$t- $out/corpus/$t fuzz/corpus/$t >"$log" 2>&1; then
        result=ok
        passed=$((passed + 1))
    else
        result="FINDING (see $log and $out/artifacts/)"
        status=1
        tail -n 40 "$log"
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    corpus=$(grep -o 'DONE .*corp: [0-9]*/[0-9a-zA-Z]*' "$log" | tail -n 1 | sed 's/.*corp: //')
    summary+=("$(printf '%-14s %10s runs %8s exec/s  corpus %-12s %s' "fuzz_$t" "${runs:-?}" "${rate:-?}" \
        "${corpus:-?}" "$result")")
done
printf '%s\n' "${summary[@]}"
echo "fuzz: $passed passed, $((${#targets[@]} - passed)) failed"
exit $status
