# bash completion for duriv, the Varnix Lodestar for RISC-V package maintainer.
#
# Options are single-dash words; -compress, -format and -exclude take the next
# word as their value. The first file argument is a package (.lxPackage or
# .lxArchive) or, after -hzr, a project (.lxProject) and then the output
# archive. -t and -f then take a member name (a wildcard), -d member names,
# -x the output directory, -c and -r files and directories. The zsh
# completion (_duriv) offers the same.

_duriv()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}

    local options='-c -compress -d -exclude -f -overwrite -hzr -r -readonly -t -v -V -x -bzip2 -format -info'

    case $prev in
        -compress)
            COMPREPLY=($(compgen -W '0 1 2 3 4 5 6 7 8 9' -- "$cur"))
            return
            ;;
        -format)
            COMPREPLY=($(compgen -W '1 2' -- "$cur"))
            return
            ;;
        -exclude)
            _duriv_files ''
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # The command (the last command option wins) and how many file arguments
    # come before the word being completed.
    local command='' package='' files=0 i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            -compress | -format | -exclude)
                ((i++))
                ;;
            -c | -d | -f | -hzr | -r | -t | -x | -info)
                command=$word
                ;;
            -*) ;;
            *)
                ((files++ == 0)) && package=$word
                ;;
        esac
    done

    if [[ $command == -hzr ]]; then
        case $files in
            0) _duriv_files 'lxProject' ;;
            1) _duriv_files 'lxArchive' ;;
        esac
        return
    fi

    if ((files == 0)); then
        _duriv_files 'lxPackage|lxArchive'
        return
    fi

    case $command in
        -x)
            # The output directory.
            ((files == 1)) && _duriv_directories
            ;;
        -t | -f)
            ((files == 1)) && _duriv_members "$package"
            ;;
        -d)
            _duriv_members "$package"
            ;;
        -info) ;;
        *)
            _duriv_files ''
            ;;
    esac
}

# Directories, plus files whose extension is one of the "|"-separated list
# (every file for an empty list).
_duriv_files()
{
    local extensions=$1 name
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    if [[ -z $extensions ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -d -- "$cur"))
    for name in $(compgen -f -- "$cur"); do
        [[ -d $name ]] && continue
        if [[ $name =~ \.($extensions)$ ]]; then
            COMPREPLY+=("$name")
        fi
    done
}

# The member names of package $1 that begin with the word, read from
# "duriv -t": each listing line ends in the name after the permissions, the
# size and the date.
_duriv_members()
{
    local package=$1 line
    local pattern='^-[-rwx]{9}  +[0-9]+  [A-Za-z]{3} [ 0-9]{2} [ 0-9:]{5}  (.*)$'
    [[ $package == '~/'* ]] && package=$HOME/${package#'~/'}
    [[ -f $package ]] || return
    # Quotes blanks and the like in the names, as for file names.
    compopt -o filenames 2>/dev/null
    COMPREPLY=()
    while IFS= read -r line; do
        [[ $line =~ $pattern ]] || continue
        [[ ${BASH_REMATCH[1]} == "$cur"* ]] && COMPREPLY+=("${BASH_REMATCH[1]}")
    done < <(LC_ALL=C TZ=UTC "${COMP_WORDS[0]}" -t "$package" 2>/dev/null)
}

_duriv_directories()
{
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$cur"))
}

complete -F _duriv duriv
