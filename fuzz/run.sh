#!/usr/bin/env bash
# Runs the fuzz targets, one after the other, each for the given number of seconds.
#   fuzz/run.sh [seconds] [target...]        (default: 600 seconds, every target)
# Environment: BUILD (default build-fuzz), PARALLEL=2 runs two targets at a time.
# Builds the targets and makes the seed corpora when they are missing. Each target keeps its corpus
# in $BUILD/corpus/<target> (grown across runs) and writes what it finds (crash-*, leak-*,
# timeout-*, oom-*) to $BUILD/findings/<target>/; a summary line per target gives executions,
# executions per second and findings. The exit status is 1 when anything was found.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(boot_record fat_chains directory signatures recovery)
build=${BUILD:-build-fuzz}
parallel=${PARALLEL:-1}

[ -x "$build/bin/fuzz_recovery" ] || fuzz/build.sh "$build" || exit 2
[ -d "$build/seeds" ] || fuzz/make-seeds.sh "$build/seeds" || exit 2

max_len() {
    case $1 in
    boot_record) echo 16384 ;;
    fat_chains) echo 8192 ;;
    directory) echo 32768 ;;
    signatures) echo 65536 ;;
    recovery) echo 400000 ;;
    esac
}

run_one() {
    local t=$1
    local corpus=$build/corpus/$t findings=$build/findings/$t log=$build/findings/$t.log
    mkdir -p "$corpus" "$findings"
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0} \
        UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
        "$build/bin/fuzz_$t" "$corpus" "$build/seeds/$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" \
        -timeout=60 -rss_limit_mb=2048 -malloc_limit_mb=256 -print_final_stats=1 \
        -artifact_prefix="$findings/" >"$log" 2>&1
    local runs rate found
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    found=$(find "$findings" -maxdepth 1 -type f | wc -l)
    printf '%-12s %8ss %10s runs %7s exec/s  corpus %5d  findings %d\n' "$t" "$seconds" "${runs:-?}" \
        "${rate:-?}" "$(ls "$corpus" | wc -l)" "$found"
    [ "$found" -eq 0 ]
}

status=0
pids=()
for t in "${targets[@]}"; do
    if [ "$parallel" -gt 1 ]; then
        run_one "$t" &
        pids+=($!)
        if [ ${#pids[@]} -ge "$parallel" ]; then
            wait "${pids[0]}" || status=1
            pids=("${pids[@]:1}")
        fi
    else
        run_one "$t" || status=1
    fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
