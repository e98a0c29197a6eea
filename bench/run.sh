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
# Every duriv command runs beside its closest peer, alternately, RUNS times
# (default 3); the table shows medians of wall time, CPU time (user+system)
# and peak resident memory from /usr/bin/time, and the ratio duriv / peer.
# Environment: RUNS, HUGE_MB (size of the single large member, default 1024),
# LARGE_MB (total of the large-file set, default 384), KEEP=1 keeps bench/work.
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
if [ ! -d large ]; then
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
if [ ! -f huge/member.bin ]; then
    echo "making the ${HUGE_MB} MB member..." >&2
    mkdir -p huge
    : > huge/member.bin
    while [ "$(stat -c %s huge/member.bin)" -lt $((HUGE_MB * 1048576)) ]; do
        cat large/image1.bin >> huge/member.bin
    done
    truncate -s $((HUGE_MB * 1048576)) huge/member.bin
fi
if [ ! -d many ]; then
    echo "making 20000 small files..." >&2
    mkdir -p many
    for d in $(seq 0 19); do
        mkdir -p "many/d$d"
        for f in $(seq 0 999); do echo "member $d/$f" > "many/d$d/f$f.h"; done
    done
fi
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

# Figures: label, duriv key, peer key, setup, duriv command, peer command
pairs=()
sep=$'\x1f'
pair() { pairs+=("$1$sep$2$sep$3$sep$4$sep$5$sep$6"); }

# Creation figures write their own outputs; the reading figures use the
# packages prepared below.
pair "-c -compress 7 vs tar|gzip -7" c7 targz "rm -f c.lxPackage c.tar.gz" \
     "$D -c -compress 7 c.lxPackage tree" "tar -chf - tree | gzip -7 > c.tar.gz"
pair "-c level 7 vs zlib deflate floor" c7f floor "rm -f f.lxPackage" \
     "$D -c -compress 7 f.lxPackage tree" "find -L tree -type f | ./deflatefloor 7"
pair "-c -bzip2 vs tar -cjf" cbz tarbz "rm -f b.lxPackage b.tar.bz2" \
     "$D -c -bzip2 b.lxPackage tree" "tar -chjf b.tar.bz2 tree"
pair "-t vs tar -tzf" t tartz "true" "$D -t t.lxPackage" "tar -tzf t.tar.gz"
pair "-t vs bsdtar -tf" t2 bsdt "true" "$D -t t.lxPackage" "bsdtar -tf t.tar.gz"
pair "-x vs tar -xzf" x tarx "rm -rf xo xp; mkdir xo xp" \
     "$D -x t.lxPackage xo" "tar -xzf t.tar.gz -C xp"
pair "-x vs bsdtar -xf" x2 bsdx "rm -rf xo xp; mkdir xo xp" \
     "$D -x t.lxPackage xo" "bsdtar -xf t.tar.gz -C xp"
pair "-f '*' vs tar -xzOf" f tarf "true" "$D -f t.lxPackage '*'" "tar -xzOf t.tar.gz"
pair "-f '*' vs bsdtar -xOf" f2 bsdf "true" "$D -f t.lxPackage '*'" "bsdtar -xOf t.tar.gz"
pair "-r one file vs tar redo" r tarr \
     "cp t.lxPackage r.lxPackage; cp t.tar.gz r.tar.gz; rm -rf rx; mkdir rx; cp extra.h tree.extra.h 2>/dev/null || true" \
     "$D -r r.lxPackage extra.h" \
     "tar -xzf r.tar.gz -C rx && cp extra.h rx/ && tar -cf - -C rx . | gzip -7 > r.tar.gz"
pair "large: -c vs tar|gzip -7" lc ltargz "rm -f lc.lxPackage lc.tar.gz" \
     "$D -c -compress 7 lc.lxPackage large" "tar -cf - large | gzip -7 > lc.tar.gz"
pair "large: -x vs bsdtar -xf" lx lbsdx "rm -rf lxo lxp; mkdir lxo lxp" \
     "$D -x l.lxPackage lxo" "bsdtar -xf l.tar.gz -C lxp"
pair "20000 members: -t vs bsdtar -tf" mt mbsdt "true" \
     "$D -t m.lxPackage" "bsdtar -tf m.tar.gz"
pair "1 GB member: -c vs tar|gzip -7" hc htargz "rm -f hc.lxPackage hc.tar.gz" \
     "$D -c -compress 7 hc.lxPackage huge" "tar -cf - huge | gzip -7 > hc.tar.gz"
pair "1 GB member: -x vs bsdtar -xf" hx hbsdx "rm -rf hxo hxp; mkdir hxo hxp" \
     "$D -x h.lxPackage hxo" "bsdtar -xf h.tar.gz -C hxp"
pair "1 GB member: -f vs bsdtar -xOf" hf hbsdf "true" \
     "$D -f h.lxPackage '*'" "bsdtar -xOf h.tar.gz"
pair "1 GB member: -r vs tar redo" hr htarr \
     "cp h.lxPackage hr.lxPackage; cp h.tar.gz hr.tar.gz; rm -rf hrx; mkdir hrx" \
     "$D -r hr.lxPackage extra.h" \
     "tar -xzf hr.tar.gz -C hrx && cp extra.h hrx/ && tar -cf - -C hrx . | gzip -7 > hr.tar.gz"

# Inputs of the reading figures, made once.
echo "preparing packages..." >&2
"$D" -c -compress 7 t.lxPackage tree; tar -chf - tree | gzip -7 > t.tar.gz
"$D" -c l.lxPackage large; tar -cf - large | gzip -7 > l.tar.gz
"$D" -c m.lxPackage many; tar -czf m.tar.gz many
"$D" -c h.lxPackage huge; tar -cf - huge | gzip -7 > h.tar.gz

for run in $(seq 1 "$RUNS"); do
    echo "run $run of $RUNS..." >&2
    for p in "${pairs[@]}"; do
        IFS="$sep" read -r label dk pk setup dcmd pcmd <<< "$p"
        # Alternate which side goes first so caches favour neither.
        if [ $((run % 2)) -eq 1 ]; then
            measure "$dk" "$setup" "$dcmd"; measure "$pk" "$setup" "$pcmd"
        else
            measure "$pk" "$setup" "$pcmd"; measure "$dk" "$setup" "$dcmd"
        fi
    done
done

# median KEY FIELD (2 wall, 3 cpu, 4 rss)
median() {
    awk -v k="$1" -v f="$2" '$1 == k { print $f }' "$results" | sort -g \
        | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo
echo "Tree: $tree_files files, $tree_mb MB; large set: $LARGE_MB MB in 3 files; single member: $HUGE_MB MB; $RUNS runs"
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -sr)"
echo
printf "%-36s %-10s %12s %12s %7s\n" figure measure duriv peer ratio
for p in "${pairs[@]}"; do
    IFS="$sep" read -r label dk pk _ <<< "$p"
    for m in "wall s:2" "cpu s:3" "rss MB:4"; do
        name="${m%:*}"; field="${m#*:}"
        dv=$(median "$dk" "$field"); pv=$(median "$pk" "$field")
        if [ "$field" = 4 ]; then
            dv=$(awk -v v="$dv" 'BEGIN { printf "%.1f", v / 1024 }')
            pv=$(awk -v v="$pv" 'BEGIN { printf "%.1f", v / 1024 }')
        fi
        printf "%-36s %-10s %12s %12s %7s\n" "$label" "$name" "$dv" "$pv" "$(ratio "$dv" "$pv")"
        label=""
    done
done
echo
floor_size=$(find -L tree -type f | ./deflatefloor 7)
printf "%-36s %-10s %12s %12s %7s\n" "size: -c -compress 7 vs gzip -7" "MB" \
    "$(awk -v v="$(stat -c %s t.lxPackage)" 'BEGIN { printf "%.2f", v / 1048576 }')" \
    "$(awk -v v="$(stat -c %s t.tar.gz)" 'BEGIN { printf "%.2f", v / 1048576 }')" \
    "$(ratio "$(stat -c %s t.lxPackage)" "$(stat -c %s t.tar.gz)")"
printf "%-36s %-10s %12s %12s %7s\n" "size: -c -compress 7 vs deflate floor" "MB" \
    "$(awk -v v="$(stat -c %s t.lxPackage)" 'BEGIN { printf "%.2f", v / 1048576 }')" \
    "$(awk -v v="$floor_size" 'BEGIN { printf "%.2f", v / 1048576 }')" \
    "$(ratio "$(stat -c %s t.lxPackage)" "$floor_size")"

[ "${KEEP:-0}" = 1 ] || rm -rf "$work"/{xo,xp,lxo,lxp,hxo,hxp,rx,hrx}
