#!/bin/bash
# The installed completions offer the same things: bash's from
# share/bash-completion/completions, zsh's loaded by compinit from
# share/zsh/vendor-completions. Each is asked for the words of a command line
# in a directory holding a package, a project, an archive, other files and a
# directory.
set -u
prefix=${1:?prefix}
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/duriv-completion.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
fail() { echo "completions: $*" >&2; exit 1; }

command -v zsh >/dev/null 2>&1 || fail "zsh is not installed (scripts/install-deps.sh installs it)"
export PATH="$prefix/bin:$PATH"

work=$scratch/work
mkdir -p "$work/src/inc/sub" "$work/dir"
cd "$work" || exit 1
: >"src/inc/a.h"
: >"src/inc/sub/b.h"
: >"src/x y.c"
(cd src && duriv -c ../p.lxPackage inc "x y.c") || fail "cannot make the package"
: >app.lxProject
: >old.lxArchive
: >notes.txt

bash_words() {
    bash -c '
        source "$1"
        read -a COMP_WORDS <<<"$2"
        [[ $2 == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMPREPLY=()
        _duriv
        printf "%s\n" "${COMPREPLY[@]}"
    ' bash "$prefix/share/bash-completion/completions/duriv" "$1" | sed '/^$/d' | sort -u | tr '\n' '|'
}

zsh_words() {
    zsh -f "$here/zsh-complete.zsh" "$prefix/share/zsh/vendor-completions" "$1" | tr '\n' '|'
}

options='-V|-bzip2|-c|-compress|-d|-exclude|-f|-format|-hzr|-info|-overwrite|-r|-readonly|-t|-v|-x|'
members='inc/a.h|inc/sub/b.h|x y.c|'
files='app.lxProject|dir|notes.txt|old.lxArchive|p.lxPackage|src|'
# line, then what bash offers, then what zsh offers (zsh completes member
# names one directory at a time, and quotes blanks).
cases=(
    "duriv -"                          "$options"                    "$options"
    "duriv -compress "                 "0|1|2|3|4|5|6|7|8|9|"        "0|1|2|3|4|5|6|7|8|9|"
    "duriv -format "                   "1|2|"                        "1|2|"
    "duriv -t "                        "dir|old.lxArchive|p.lxPackage|src|" "dir|old.lxArchive|p.lxPackage|src|"
    "duriv -hzr "                      "app.lxProject|dir|src|"      "app.lxProject|dir|src|"
    "duriv -hzr app.lxProject "        "dir|old.lxArchive|src|"      "dir|old.lxArchive|src|"
    "duriv -x p.lxPackage "            "dir|src|"                    "dir|src|"
    "duriv -t p.lxPackage "            "$members"                    "inc|x\\ y.c|"
    "duriv -f p.lxPackage inc/"        "inc/a.h|inc/sub/b.h|"        "a.h|sub|"
    "duriv -d p.lxPackage x\\ y.c "    "$members"                    "inc|x\\ y.c|"
    "duriv -d p.lxPackage x"           "x y.c|"                      "x\\ y.c|"
    "duriv -info p.lxPackage "         ""                            ""
    "duriv -t p.lxPackage x.c "        ""                            ""
    "duriv -c new.lxPackage "          "$files"                      "$files"
    "duriv -exclude "                  "$files"                      "$files"
)
for ((i = 0; i < ${#cases[@]}; i += 3)); do
    line=${cases[i]}
    got=$(bash_words "$line")
    [ "$got" = "${cases[i + 1]}" ] || fail "bash, '$line': '$got', expected '${cases[i + 1]}'"
    got=$(zsh_words "$line")
    [ "$got" = "${cases[i + 2]}" ] || fail "zsh, '$line': '$got', expected '${cases[i + 2]}'"
done
echo "the bash and zsh completions offer the same"
