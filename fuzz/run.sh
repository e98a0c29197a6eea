#!/bin/bash
# Builds the libFuzzer harnesses with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for SECONDS (default 60) from a
# seed corpus. Findings land in fuzz/findings/<harness>/.
#
#   fuzz/run.sh [SECONDS] [HARNESS...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
build="$root/build-fuzz"

"$root/scripts/install-deps.sh" --fuzz >&2
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDURIV_FUZZ=ON -DDURIV_SANITIZE=ON -DDURIV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    mapfile -t harnesses < <(find "$build" -maxdepth 3 -type f -executable -name '*_fuzz_*' ! -name '*_fuzz_seeds' -printf '%f\n' | sort)
fi

# Seeds: valid archives of every form, written by the seed generator when it
# is built, plus each harness's checked-in seeds.
seeds="$root/fuzz/corpus-work/seeds"
mkdir -p "$seeds"
if [ -x "$build/package/package_fuzz_seeds" ]; then
    "$build/package/package_fuzz_seeds" "$seeds" >/dev/null
fi

# Allocation stacks cost more than the run itself when every bzip2 restart
# allocates the decoder's buffers; detection is unchanged. Rerun a finding
# with the default options to see where its memory came from.
export ASAN_OPTIONS="${ASAN_OPTIONS:-malloc_context_size=0}"

total=0
for h in "${harnesses[@]}"; do
    bin=$(find "$build" -maxdepth 3 -type f -executable -name "$h" | head -1)
    [ -n "$bin" ] || { echo "no harness $h" >&2; exit 1; }
    corpus="$root/fuzz/corpus-work/$h"
    findings="$root/fuzz/findings/$h"
    mkdir -p "$corpus" "$findings"
    extra=()
    for d in "$root"/*/fuzz/seeds/"$h" "$root"/*/fuzz/seeds/common; do
        [ -d "$d" ] && extra+=("$d")
    done
    case "$h" in package_*) extra+=("$seeds") ;; esac
    # The directive and solution vocabulary for the harnesses that read XML.
    options=()
    case "$h" in xml_*|project_*) options+=(-dict="$root/xml/fuzz/directives.dict") ;; esac
    echo "== $h for ${seconds}s" >&2
    log="$root/fuzz/corpus-work/$h.log"
    "$bin" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
        -rss_limit_mb=2048 -max_len=65536 "${options[@]}" "$corpus" "${extra[@]}" >"$log" 2>&1 || {
        echo "$h: crash or leak, see $log and $findings" >&2; tail -40 "$log" >&2; exit 1; }
    runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log" | tail -1)
    echo "$h: ${runs:-0} executions"
    total=$((total + ${runs:-0}))
done
echo "total: $total executions"
