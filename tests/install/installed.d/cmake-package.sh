#!/bin/bash
# The installed CMake package in a firmware build: find_package(duriv) from
# the prefix, a package and a project archive built by duriv_add_package and
# duriv_add_project_archive, rebuilt exactly when an input changes, with the
# Makefile and the Ninja generators; the version file taken by a 32-bit
# build; NO_CMAKE_FIND_ROOT_PATH finding the host tool in a cross build; a
# missing required argument named at configure time.
set -u
prefix=${1:?prefix}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/duriv-cmake.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
fail() { echo "cmake-package: $*" >&2; exit 1; }

duriv=$prefix/bin/duriv
src=$scratch/src
export HOME=$scratch/home
export SOURCE_DATE_EPOCH=1700000000
mkdir -p "$HOME" "$src/content/sub" "$src/content/gen" "$src/proj/src"

printf 'a\n' >"$src/content/a.c"
printf 'b\n' >"$src/content/sub/b.c"
printf 'blank\n' >"$src/content/with space.c"
printf 'generated\n' >"$src/content/gen/g.c"
printf 'hidden\n' >"$src/content/.hidden"
printf 'notes\n' >"$src/notes.txt"
printf 'int main;\n' >"$src/proj/src/main.c"
cat >"$src/proj/app.lxProject" <<'XML'
<!DOCTYPE Kestrel_Project_File>
<solution Name="app" version="2">
  <project Name="app">
    <file file_name="src/main.c" />
  </project>
</solution>
XML
cat >"$src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(firmware NONE)
find_package(duriv 4.22 REQUIRED)
duriv_add_package(board_package OUTPUT board.lxPackage DIRECTORY content FILES notes.txt
                  EXCLUDE content/gen READONLY ALL)
duriv_add_project_archive(app_archive PROJECT proj/app.lxProject ALL)
CMAKE

# Waits until the file system's clock has passed FILE's time, so that what
# changes next is newer than FILE (file times have a coarse tick).
wait_past() {
    local marker=$scratch/clock
    until touch "$marker" && [ "$marker" -nt "$1" ]; do
        sleep 0.01
    done
}

# build DIR: builds and prints the outputs it wrote.
build() {
    cmake --build "$1" >"$scratch/build.log" 2>&1 || fail "build failed: $(cat "$scratch/build.log")"
    grep -o 'Writing [^ ]*' "$scratch/build.log" | sed "s|Writing $1/||" | sort | tr '\n' ' '
}

# expect_build DIR WHAT EXPECTED: the build wrote exactly EXPECTED.
expect_build() {
    local written
    written=$(build "$1")
    [ "$written" = "$3" ] || fail "$generator, $2: wrote '$written', expected '$3'"
}

members() {
    "$duriv" -t "$1" | grep '^-' | sed 's/^\([^ ]*  *\)\{5\}//'
}

check_generator() {
    local generator=$1 dir
    dir=$scratch/build-${generator// /-}
    cmake -S "$src" -B "$dir" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" >"$scratch/configure.log" 2>&1 ||
        fail "$generator: configure failed: $(cat "$scratch/configure.log")"
    expect_build "$dir" "first build" "app.lxArchive board.lxPackage "
    [ "$(members "$dir/board.lxPackage" | tr '\n' '|')" = "content/a.c|content/sub/b.c|content/with space.c|notes.txt|" ] ||
        fail "$generator: members $(members "$dir/board.lxPackage" | tr '\n' '|')"
    "$duriv" -t "$dir/board.lxPackage" | grep -q '^-r--r--r-- .* content/a.c$' || fail "$generator: READONLY not applied"
    [ "$(members "$dir/app.lxArchive" | tr '\n' '|')" = "app.lxProject|src/main.c|" ] ||
        fail "$generator: archive members $(members "$dir/app.lxArchive" | tr '\n' '|')"

    expect_build "$dir" "nothing changed" ""
    wait_past "$dir/board.lxPackage"
    touch "$src/content/sub/b.c"
    expect_build "$dir" "a file under a directory touched" "board.lxPackage "
    expect_build "$dir" "nothing changed since" ""
    wait_past "$dir/board.lxPackage"
    touch "$src/content/with space.c"
    expect_build "$dir" "a file with a blank in its name touched" "board.lxPackage "
    wait_past "$dir/board.lxPackage"
    touch "$src/notes.txt"
    expect_build "$dir" "a listed file touched" "board.lxPackage "
    wait_past "$dir/board.lxPackage"
    printf 'new\n' >"$src/content/sub/new.c"
    expect_build "$dir" "a file added" "board.lxPackage "
    members "$dir/board.lxPackage" | grep -qx 'content/sub/new.c' || fail "$generator: the added file is not a member"
    expect_build "$dir" "nothing changed after the addition" ""
    wait_past "$dir/board.lxPackage"
    rm "$src/content/sub/new.c"
    expect_build "$dir" "a file removed" "board.lxPackage "
    wait_past "$dir/board.lxPackage"
    touch "$src/content/gen/g.c"
    expect_build "$dir" "an excluded file touched" ""
    wait_past "$dir/app.lxArchive"
    touch "$src/proj/src/main.c"
    expect_build "$dir" "a file of the project touched" "app.lxArchive "
    wait_past "$dir/app.lxArchive"
    touch "$src/proj/app.lxProject"
    expect_build "$dir" "the project touched" "app.lxArchive "
    expect_build "$dir" "nothing changed at the end" ""
}

check_generator "Unix Makefiles"
if command -v ninja >/dev/null 2>&1; then
    check_generator Ninja
else
    echo "note: ninja is not installed; the Ninja generator is not checked"
fi

# configure NAME BODY: configures a project of BODY; its output is in
# $scratch/NAME.log, its status the function's.
configure() {
    mkdir -p "$scratch/$1"
    printf 'cmake_minimum_required(VERSION 3.20)\nproject(%s NONE)\n%s\n' "$1" "$2" >"$scratch/$1/CMakeLists.txt"
    cmake -S "$scratch/$1" -B "$scratch/$1/build" -DCMAKE_PREFIX_PATH="$prefix" >"$scratch/$1.log" 2>&1
}

configure bits32 'set(CMAKE_SIZEOF_VOID_P 4)
find_package(duriv 4.22 REQUIRED)' || fail "a 32-bit build does not take the package: $(cat "$scratch/bits32.log")"

cross='set(CMAKE_FIND_ROOT_PATH /nonexistent)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)'
configure cross "$cross
find_package(duriv 4.22 REQUIRED NO_CMAKE_FIND_ROOT_PATH)" ||
    fail "NO_CMAKE_FIND_ROOT_PATH does not find the host tool: $(cat "$scratch/cross.log")"
! configure confined "$cross
find_package(duriv 4.22 REQUIRED)" || fail "the find root path does not confine find_package, so the check above shows nothing"

! configure nooutput 'find_package(duriv REQUIRED)
duriv_add_package(p DIRECTORY content)' || fail "duriv_add_package without OUTPUT configured"
grep -q 'duriv_add_package: OUTPUT is required' "$scratch/nooutput.log" ||
    fail "no message naming OUTPUT: $(cat "$scratch/nooutput.log")"
! configure noproject 'find_package(duriv REQUIRED)
duriv_add_project_archive(a OUTPUT a.lxArchive)' || fail "duriv_add_project_archive without PROJECT configured"
grep -q 'duriv_add_project_archive: PROJECT is required' "$scratch/noproject.log" ||
    fail "no message naming PROJECT: $(cat "$scratch/noproject.log")"

echo "the CMake package builds and rebuilds packages"
