#!/bin/bash
# Builds the Debian package of a build with cpack into a temporary directory,
# unpacks it with "dpkg -x" into a scratch root and runs the binary through
# the /usr/bin/duriv link. Exits with 77 (skipped) when cpack, dpkg-deb or
# dpkg-shlibdeps are missing.
#
# Usage: install-deb.sh BUILD_DIR [CPACK]
set -u

here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

build=${1:?build directory}
cpack=${2:-cpack}

for tool in "$cpack" dpkg-deb dpkg-shlibdeps file; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed" >&2
        exit 77
    fi
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/duriv-deb.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT

# As a user would: cpack in the build directory reads its CPackConfig.cmake;
# only the output goes elsewhere.
(cd "$build" && "$cpack" -G DEB -B "$scratch/out") \
    >"$scratch/cpack.log" 2>&1 || fail "cpack failed: $(cat "$scratch/cpack.log")"
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made ${#debs[@]} packages: ${debs[*]}"
deb=${debs[0]}

# The dependencies are those of the linked libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt5core5 libqt5xml5 zlib1g libbz2 libisal2; do
    case "$depends" in
    *"$library"*) ;;
    *) fail "Depends lacks $library: $depends" ;;
    esac
done

root="$scratch/root"
dpkg -x "$deb" "$root" || fail "dpkg -x failed"
for path in opt/duriv/bin/duriv opt/duriv/share/man/man1/duriv.1 opt/duriv/targets/project_templates.xml \
    usr/share/man/man1/duriv.1 usr/share/bash-completion/completions/duriv \
    usr/share/zsh/vendor-completions/_duriv usr/lib/cmake/duriv/durivConfig.cmake \
    usr/lib/cmake/duriv/durivConfigVersion.cmake usr/lib/cmake/duriv/durivFunctions.cmake; do
    [ -f "$root/$path" ] || fail "$path is not in the package"
done
# find_package's default place names the installation under /opt/duriv.
grep -qxF 'set(_duriv_prefix "/opt/duriv")' "$root/usr/lib/cmake/duriv/durivConfig.cmake" ||
    fail "usr/lib/cmake/duriv/durivConfig.cmake does not lead to /opt/duriv"
[ -L "$root/usr/bin/duriv" ] || fail "usr/bin/duriv is not a link"
[ "$(readlink -f "$root/usr/bin/duriv")" = "$(readlink -f "$root/opt/duriv/bin/duriv")" ] ||
    fail "usr/bin/duriv does not lead to opt/duriv/bin/duriv"

# Through the link, as a user on the path would run it.
check_binary "$root/usr/bin/duriv" "$scratch"
# /proc/self/exe resolves the link: the installation is opt/duriv.
check_installation_directory "$root/usr/bin/duriv" "$root/opt/duriv" "$scratch"

echo "Debian package $(basename "$deb") works"
