#!/bin/bash
# The "scale" section of the benchmark: time per item of the constructs that
# must stay linear in their size, each at a size and at four times that size.
#
#   bench/scale.sh [DURIV]
#
# DURIV defaults to a release build made here. Each figure runs RUNS times
# (default 3) at both sizes and shows the median wall time, the time per item
# and the ratio of the larger size's time per item to the smaller one's
# (linear growth gives about 1; the limit is 2). A benchmark, not a test.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
work="$root/bench/work/scale"
RUNS="${RUNS:-3}"
D="${1:-}"
if [ -z "$D" ]; then
    echo "building duriv (Release)..." >&2
    cmake -S "$root" -B "$root/build-release" -DCMAKE_BUILD_TYPE=Release \
          -DDURIV_BUILD_TESTS=OFF >/dev/null
    cmake --build "$root/build-release" -j2 --target duriv >/dev/null
    D="$root/build-release/duriv"
fi
export D="$(realpath "$D")"

rm -rf "$work"
mkdir -p "$work"
cd "$work"
export HOME="$work/home"
mkdir -p "$HOME"

doctype='<!DOCTYPE Kestrel_Project_File>'

# --- inputs: one directory per figure and size -------------------------------

# N small files in DIR/tree.
small_files() {
    mkdir -p "$1/tree"
    (cd "$1/tree" && seq 1 "$2" | awk '{ f = "f" $1 ".c"; printf "member %d\n", $1 > f; close(f) }')
}

make_create() {
    small_files "$1" "$2"
}

make_dynamic_folder() {
    small_files "$1" "$2"
    printf '%s\n<solution Name="s"><project Name="p"><folder Name="d" path="tree" filter="*.c"/></project></solution>\n' \
        "$doctype" > "$1/s.lxProject"
}

make_file_elements() {
    small_files "$1" "$2"
    { printf '%s\n<solution Name="s"><project Name="p"><folder Name="f">\n' "$doctype"
      seq 1 "$2" | awk '{ printf "<file file_name=\"tree/f%d.c\"/>\n", $1 }'
      printf '</folder></project></solution>\n'; } > "$1/s.lxProject"
}

make_attributes() {
    echo "int a;" > "$1/a.c"
    { printf '%s\n<solution Name="s"><file file_name="a.c"' "$doctype"
      seq 1 "$2" | awk '{ printf " a%d=\"%d\"", $1, $1 }'
      printf '/></solution>\n'; } > "$1/s.lxProject"
}

make_conditionals() {
    echo "int a;" > "$1/a.c"
    { printf '%s\n<solution Name="s">' "$doctype"
      seq 1 "$2" | awk '{ printf "<ifndef name=\"U\">" }'
      printf '<file file_name="a.c"/>'
      seq 1 "$2" | awk '{ printf "</ifndef>" }'
      printf '</solution>\n'; } > "$1/s.lxProject"
}

# label|maker|small size|command (run in the input's directory; "out" is the output)
figures=(
    "-c of small files|make_create|15000|\"\$D\" -c out tree"
    "-hzr dynamic folder of files|make_dynamic_folder|15000|\"\$D\" -hzr s.lxProject out"
    "-hzr file elements|make_file_elements|15000|\"\$D\" -hzr s.lxProject out"
    "-hzr attributes of one element|make_attributes|50000|\"\$D\" -hzr s.lxProject out"
    "-hzr conditionals nested deep|make_conditionals|10000|\"\$D\" -hzr s.lxProject out"
)

# wall seconds of one run of COMMAND in DIR; a failing run stops the benchmark
wall() {
    local dir="$1" command="$2"
    rm -f "$dir/out"
    /usr/bin/time -f "%e" -o "$work/time.out" bash -c "cd '$dir' && $command" >/dev/null 2>"$work/err.out" || {
        echo "failed: $command in $dir" >&2; cat "$work/err.out" >&2; exit 1; }
    cat "$work/time.out"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "scale: $RUNS runs, median wall time; machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-32s %9s %9s %12s %7s\n" figure items "wall s" "us/item" ratio
for figure in "${figures[@]}"; do
    IFS='|' read -r label maker small command <<< "$figure"
    previous=""
    for items in "$small" $((small * 4)); do
        dir="$work/$maker-$items"
        mkdir -p "$dir"
        "$maker" "$dir" "$items"
        times=()
        for _ in $(seq 1 "$RUNS"); do times+=("$(wall "$dir" "$command")"); done
        seconds=$(printf '%s\n' "${times[@]}" | median)
        per_item=$(awk -v s="$seconds" -v n="$items" 'BEGIN { printf "%.2f", s * 1e6 / n }')
        ratio="-"
        [ -n "$previous" ] && ratio=$(awk -v a="$per_item" -v b="$previous" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
        printf "%-32s %9d %9s %12s %7s\n" "$label" "$items" "$seconds" "$per_item" "$ratio"
        previous="$per_item"
        label=""
        rm -rf "$dir"
    done
done
rm -rf "$work"
