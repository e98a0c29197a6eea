#!/bin/bash
# Benchmark of duriv against the archivers users know, on the same files.
#
#   bench/run.sh [TREE]
#
# TREE is a directory to package; without it a tree is assembled from the
# machine's headers, libraries and XML files (about 150 MB, thousands of
# files). A second set of a few large files and a package holding one 1 GB
# member measure throughput and memory on big members.
#
# Every duriv command runs beside its peers, in turns whose order rotates,
# RUNS times (default 3); the table shows medians of wall time, CPU time
# (user+system) and peak resident memory from /usr/bin/time, and the ratio
# duriv / fastest peer (by median wall time), followed by every peer's median
# wall time with its min-max. Every reading command has bsdtar among its
# peers, and tar and unzip where they do the same job.
# Updates of one member are measured against the same update of the package
# with its body as one stream (what older duriv and other writers make), which
# must compress everything again on one thread, and against zip updating its
# archive in place.
# Environment: RUNS, HUGE_MB (size of the single large member, default 1024),
# LARGE_MB (total of the large-file set, default 384), KEEP=1 keeps bench/work,
# FIGURES (an extended regular expression: only the figures whose label it
# matches are measured, and the scale section is skipped; e.g. '^-[crd] ').
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
work="$root/bench/work"
RUNS="${RUNS:-3}"
HUGE_MB="${HUGE_MB:-1024}"
LARGE_MB="${LARGE_MB:-384}"
tree_arg="${1:-}"
[ -n "$tree_arg" ] && tree_arg="$(realpath "$tree_arg")"

"$root/scripts/install-deps.sh" --bench >&2

echo "building duriv (Release)..." >&2
cmake -S "$root" -B "$root/build-release" -DCMAKE_BUILD_TYPE=Release \
      -DDURIV_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build-release" -j2 --target duriv >/dev/null
D="$root/build-release/duriv"

mkdir -p "$work"
cd "$work"
cc -O2 -o deflatefloor "$root/bench/deflatefloor.c" -lz

# --- data --------------------------------------------------------------
if [ -n "$tree_arg" ]; then
    rm -rf tree && ln -s "$tree_arg" tree
elif [ ! -d tree ]; then
    echo "assembling the tree..." >&2
    mkdir -p tree/include tree/lib tree/xml
    cp -r /usr/include/. tree/include/ 2>/dev/null || true
    # A few real binaries and XML documents beside the sources.
    # (head closes the pipe early; that is not a failure)
    { find /usr/lib/x86_64-linux-gnu -maxdepth 1 -name 'lib*.so.*' -type f -size -2M \
        | head -40 | xargs -r cp -t tree/lib; } || true
    { find /usr/share -name '*.xml' -type f -size -1M 2>/dev/null | head -400 \
        | while read -r f; do cp "$f" "tree/xml/$(echo "$f" | tr / _)"; done; } || true
fi
# Dangling links (headers pointing outside the copy) would make tar fail.
[ -n "$tree_arg" ] || find tree -xtype l -delete
echo "update" > extra.h

tree_files=$(find -L tree -type f | wc -l)
tree_mb=$(du -sLm tree | cut -f1)

# --- measurement -------------------------------------------------------
results="$work/results.txt"
: > "$results"

# measure KEY SETUP COMMAND: runs SETUP untimed, then COMMAND under
# /usr/bin/time; appends "KEY wall cpu rss_kb" to the results.
measure() {
    local key="$1" setup="$2" cmd="$3"
    bash -c "$setup"
    /usr/bin/time -f "%e %U %S %M" -o time.out bash -c "$cmd" >/dev/null 2>err.out || {
        echo "failed: $cmd" >&2; cat err.out >&2; exit 1; }
    read -r wall user sys rss < time.out
    echo "$key $wall $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $rss" >> "$results"
}

# A figure: label, setup, the duriv command, then its peers as name/command
# pairs. Keys in the results are "<figure number>.<side>" (side 0: duriv).
sep=$'\x1f'
figures=()
wanted() { [ -z "${FIGURES:-}" ] || grep -qE -- "$FIGURES" <<< "$1"; }
figure() {
    local label="$1" setup="$2" dcmd="$3"; shift 3
    wanted "$label" || return 0
    local entry="$label$sep$setup$sep$dcmd"
    while [ $# -gt 0 ]; do entry="$entry$sep$1$sep$2"; shift 2; done
    figures+=("$entry")
}

# Creation figures write their own outputs; the reading figures use the
# packages and peer archives prepared below.
figure "-c -compress 7" "rm -f c.lxPackage c.tar.gz c.zip" \
    "$D -c -compress 7 c.lxPackage tree" \
    "tar|pigz -7" "tar -chf - tree | pigz -7 > c.tar.gz" \
    "tar|gzip -7" "tar -chf - tree | gzip -7 > c.tar.gz" \
    "zlib deflate floor" "find -L tree -type f | ./deflatefloor 7"
figure "-c -bzip2" "rm -f b.lxPackage b.tar.bz2" \
    "$D -c -bzip2 b.lxPackage tree" \
    "tar -cjf" "tar -chjf b.tar.bz2 tree"
figure "-t (tree)" "true" "$D -t t.lxPackage" \
    "tar -tzf" "tar -tzf t.tar.gz" \
    "bsdtar -tf" "bsdtar -tf t.tar.gz" \
    "unzip -l" "unzip -l t.zip"
figure "-x (tree)" "rm -rf xo xp; mkdir xo xp" "$D -x t.lxPackage xo" \
    "tar -xzf" "tar -xzf t.tar.gz -C xp" \
    "bsdtar -xf" "bsdtar -xf t.tar.gz -C xp" \
    "unzip" "unzip -q t.zip -d xp"
figure "-f '*' (tree)" "true" "$D -f t.lxPackage '*'" \
    "tar -xzOf" "tar -xzOf t.tar.gz" \
    "bsdtar -xOf" "bsdtar -xOf t.tar.gz" \
    "unzip -p" "unzip -p t.zip"
# One member in the middle of the tree's package, of a middle size (chosen
# once the package exists): replaced by the same file, and removed.
figure "-r one member (tree)" "cp t.lxPackage r.lxPackage; cp t1.lxPackage r1.lxPackage; cp t.zip r.zip" \
    "$D -r r.lxPackage \"\$(cat mid.txt)\"" \
    "one stream, 1 thread" "DURIV_THREADS=1 $D -r r1.lxPackage \"\$(cat mid.txt)\"" \
    "zip in place" "zip -q -7 r.zip \"\$(cat mid.txt)\""
figure "-d one member (tree)" "cp t.lxPackage r.lxPackage; cp t1.lxPackage r1.lxPackage; cp t.zip r.zip" \
    "$D -d r.lxPackage \"\$(cat mid.txt)\"" \
    "one stream, 1 thread" "DURIV_THREADS=1 $D -d r1.lxPackage \"\$(cat mid.txt)\"" \
    "zip -d in place" "zip -q -d r.zip \"\$(cat mid.txt)\""
figure "large: -c" "rm -f lc.lxPackage lc.tar.gz" "$D -c -compress 7 lc.lxPackage large" \
    "tar|gzip -7" "tar -cf - large | gzip -7 > lc.tar.gz"
figure "large: -x" "rm -rf lxo lxp; mkdir lxo lxp" "$D -x l.lxPackage lxo" \
    "tar -xzf" "tar -xzf l.tar.gz -C lxp" \
    "bsdtar -xf" "bsdtar -xf l.tar.gz -C lxp" \
    "unzip" "unzip -q l.zip -d lxp"
figure "20000 members: -t" "true" "$D -t m.lxPackage" \
    "tar -tzf" "tar -tzf m.tar.gz" \
    "bsdtar -tf" "bsdtar -tf m.tar.gz" \
    "unzip -l" "unzip -l m.zip"
figure "$HUGE_MB MB member: -c" "rm -f hc.lxPackage hc.tar.gz" "$D -c -compress 7 hc.lxPackage huge" \
    "tar|gzip -7" "tar -cf - huge | gzip -7 > hc.tar.gz"
figure "$HUGE_MB MB member: -x" "rm -rf hxo hxp; mkdir hxo hxp" "$D -x h.lxPackage hxo" \
    "tar -xzf" "tar -xzf h.tar.gz -C hxp" \
    "bsdtar -xf" "bsdtar -xf h.tar.gz -C hxp" \
    "unzip" "unzip -q h.zip -d hxp"
figure "$HUGE_MB MB member: -f" "true" "$D -f h.lxPackage '*'" \
    "tar -xzOf" "tar -xzOf h.tar.gz" \
    "bsdtar -xOf" "bsdtar -xOf h.tar.gz" \
    "unzip -p" "unzip -p h.zip"
figure "$HUGE_MB MB member: -r" \
    "cp h.lxPackage hr.lxPackage; cp h.tar.gz hr.tar.gz; rm -rf hrx; mkdir hrx" \
    "$D -r hr.lxPackage extra.h" \
    "tar redo" "tar -xzf hr.tar.gz -C hrx && cp extra.h hrx/ && tar -cf - -C hrx . | gzip -7 > hr.tar.gz"

# The data sets only the measured figures need: needs PREFIX tells whether
# a measured figure's label starts with PREFIX.
needs() { local f; for f in "${figures[@]}"; do [[ "$f" == "$1"* ]] && return 0; done; return 1; }
if { needs "large:" || needs "$HUGE_MB MB member"; } && [ ! -d large ]; then
    echo "making the large-file set..." >&2
    mkdir -p large
    # Binaries repeated: compresses like real firmware images, not like noise.
    libs=$(find /usr/lib/x86_64-linux-gnu -maxdepth 1 -name 'lib*.so.*' -type f -size +1M | head -30 || true)
    for i in 1 2 3; do
        : > "large/image$i.bin"
        while [ "$(stat -c %s "large/image$i.bin")" -lt $((LARGE_MB * 1048576 / 3)) ]; do
            cat $libs >> "large/image$i.bin"
        done
        truncate -s $((LARGE_MB * 1048576 / 3)) "large/image$i.bin"
    done
fi
if needs "$HUGE_MB MB member" && [ ! -f huge/member.bin ]; then
    echo "making the ${HUGE_MB} MB member..." >&2
    mkdir -p huge
    : > huge/member.bin
    while [ "$(stat -c %s huge/member.bin)" -lt $((HUGE_MB * 1048576)) ]; do
        cat large/image1.bin >> huge/member.bin
    done
    truncate -s $((HUGE_MB * 1048576)) huge/member.bin
fi
if needs "20000 members" && [ ! -d many ]; then
    echo "making 20000 small files..." >&2
    mkdir -p many
    for d in $(seq 0 19); do
        mkdir -p "many/d$d"
        for f in $(seq 0 999); do echo "member $d/$f" > "many/d$d/f$f.h"; done
    done
fi
# Inputs of the reading figures, made once: the same files as a package, a
# .tar.gz and a .zip at the same compression level.
echo "preparing packages..." >&2
prepare() {
    local name="$1" dir="$2" level="$3"
    "$D" -c -compress "$level" "$name.lxPackage" "$dir"
    tar -chf - "$dir" | gzip -"$level" > "$name.tar.gz"
    rm -f "$name.zip"; zip -q -r -"$level" "$name.zip" "$dir"
}
prepare t tree 7
"$root/bench/singlestream.py" t.lxPackage t1.lxPackage 7
# The first member past the middle of the listing with 10 to 100 KB.
"$D" -t t.lxPackage > listing.txt
awk -v n="$tree_files" 'NR >= n / 2 && $2 >= 10240 && $2 <= 102400 {
    for (i = 0; i < 5; i++) sub(/^[^ ]+ +/, ""); print; exit }' listing.txt > mid.txt
needs "large:" && prepare l large 7
needs "20000 members" && prepare m many 7
needs "$HUGE_MB MB member" && prepare h huge 7

for run in $(seq 1 "$RUNS"); do
    echo "run $run of $RUNS..." >&2
    for f in "${!figures[@]}"; do
        IFS="$sep" read -r -a parts <<< "${figures[$f]}"
        setup="${parts[1]}"
        commands=("${parts[2]}")
        for ((i = 4; i < ${#parts[@]}; i += 2)); do commands+=("${parts[$i]}"); done
        # Rotate which side goes first so caches favour none.
        n=${#commands[@]}
        for ((k = 0; k < n; k++)); do
            side=$(((k + run) % n))
            measure "$f.$side" "$setup" "${commands[$side]}"
        done
    done
done

# median KEY FIELD (2 wall, 3 cpu, 4 rss); range KEY FIELD: "min-max"
median() {
    awk -v k="$1" -v f="$2" '$1 == k { print $f }' "$results" | sort -g \
        | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
range() {
    awk -v k="$1" -v f="$2" '$1 == k { print $f }' "$results" | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { print lo "-" hi }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
megabytes() { awk -v v="$1" 'BEGIN { printf "%.1f", v / 1024 }'; }

echo
echo "Tree: $tree_files files, $tree_mb MB; large set: $LARGE_MB MB in 3 files; single member: $HUGE_MB MB; $RUNS runs"
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -sr); load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf "%-26s %-8s %14s %14s %7s  %s\n" figure measure duriv "fastest peer" ratio "peer"
for f in "${!figures[@]}"; do
    IFS="$sep" read -r -a parts <<< "${figures[$f]}"
    label="${parts[0]}"
    # The fastest peer by median wall time.
    best=1; bestWall=""; p=1
    for ((i = 3; i < ${#parts[@]}; i += 2)); do
        w=$(median "$f.$p" 2)
        if [ -z "$bestWall" ] || awk -v a="$w" -v b="$bestWall" 'BEGIN { exit !(a < b) }'; then
            best=$p; bestWall=$w
        fi
        p=$((p + 1))
    done
    bestName="${parts[$((1 + 2 * best))]}"
    for m in "wall s:2" "cpu s:3" "rss MB:4"; do
        name="${m%:*}"; field="${m#*:}"
        dv=$(median "$f.0" "$field"); pv=$(median "$f.$best" "$field")
        if [ "$field" = 4 ]; then dv=$(megabytes "$dv"); pv=$(megabytes "$pv"); fi
        printf "%-26s %-8s %14s %14s %7s  %s\n" "$label" "$name" "$dv" "$pv" "$(ratio "$dv" "$pv")" "$bestName"
        label=""
    done
    line="  duriv $(median "$f.0" 2) ($(range "$f.0" 2))"
    p=1
    for ((i = 3; i < ${#parts[@]}; i += 2)); do
        peer=$(median "$f.$p" 2)
        line="$line; ${parts[$i]} $peer ($(range "$f.$p" 2), ratio $(ratio "$(median "$f.0" 2)" "$peer"))"
        p=$((p + 1))
    done
    echo "$line s wall"
done
echo
floor_size=$(find -L tree -type f | ./deflatefloor 7)
printf "%-36s %-10s %12s %12s %7s\n" "size: -c -compress 7 vs gzip -7" "MB" \
    "$(awk -v v="$(stat -c %s t.lxPackage)" 'BEGIN { printf "%.2f", v / 1048576 }')" \
    "$(awk -v v="$(stat -c %s t.tar.gz)" 'BEGIN { printf "%.2f", v / 1048576 }')" \
    "$(ratio "$(stat -c %s t.lxPackage)" "$(stat -c %s t.tar.gz)")"
printf "%-36s %-10s %12s %12s %7s\n" "size: -c -compress 7 vs one stream" "MB" \
    "$(awk -v v="$(stat -c %s t.lxPackage)" 'BEGIN { printf "%.2f", v / 1048576 }')" \
    "$(awk -v v="$(stat -c %s t1.lxPackage)" 'BEGIN { printf "%.2f", v / 1048576 }')" \
    "$(ratio "$(stat -c %s t.lxPackage)" "$(stat -c %s t1.lxPackage)")"
printf "%-36s %-10s %12s %12s %7s\n" "size: -c -compress 7 vs deflate floor" "MB" \
    "$(awk -v v="$(stat -c %s t.lxPackage)" 'BEGIN { printf "%.2f", v / 1048576 }')" \
    "$(awk -v v="$floor_size" 'BEGIN { printf "%.2f", v / 1048576 }')" \
    "$(ratio "$(stat -c %s t.lxPackage)" "$floor_size")"

[ "${KEEP:-0}" = 1 ] || rm -rf "$work"/{xo,xp,lxo,lxp,hxo,hxp,rx,hrx}

# --- scale ---------------------------------------------------------------
# Time per item at two sizes for the constructs that must stay linear.
[ -n "${FIGURES:-}" ] && exit 0
echo
"$root/bench/scale.sh" "$D"
