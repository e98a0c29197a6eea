#!/bin/bash
# The main job: package the bundled example CPU support package, list it and
# print its identity line. Usage: scripts/demo.sh [path/to/duriv]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
duriv="$(realpath "${1:-$root/build/duriv}")"
out="$root/build/demo"
package="$out/RV32_CoreSupport.lxPackage"

mkdir -p "$out"
cd "$root/examples/packages"

echo "== duriv -v -c $package RV32_CoreSupport"
"$duriv" -v -c "$package" RV32_CoreSupport
echo
echo "== duriv -t $package"
"$duriv" -t "$package"
echo
echo "== duriv -info $package"
"$duriv" -info "$package"
