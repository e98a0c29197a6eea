#!/bin/bash
# Installs a build into a temporary prefix with "cmake --install" and runs the
# installed duriv from there: the layout, the usage text, a -c/-t/-x round
# trip, and every hook script in installed.d/.
#
# Usage: install-prefix.sh BUILD_DIR
set -u

here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

build=${1:?build directory}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/duriv-install.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"

cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    fail "cmake --install failed: $(cat "$scratch/install.log")"

for path in bin/duriv share/man/man1/duriv.1 share/bash-completion/completions/duriv \
    share/zsh/vendor-completions/_duriv lib/cmake/duriv/durivConfig.cmake \
    lib/cmake/duriv/durivConfigVersion.cmake lib/cmake/duriv/durivFunctions.cmake; do
    [ -f "$prefix/$path" ] || fail "$path is not installed"
done
[ -f "$prefix/targets/project_templates.xml" ] || fail "targets/project_templates.xml is not installed"
# The package-only files stay out of a plain installation.
[ ! -e "$prefix/usr" ] || fail "a plain installation holds usr/"

# Run from a directory of its own, away from the build tree.
check_binary "$prefix/bin/duriv" "$scratch"
check_installation_directory "$prefix/bin/duriv" "$prefix" "$scratch"

# Tests that need an installed tree: each hook gets the prefix as argument.
for hook in "$here"/installed.d/*.sh; do
    [ -e "$hook" ] || continue
    bash "$hook" "$prefix" || fail "$(basename "$hook") failed"
done

echo "installation in a temporary prefix works"
