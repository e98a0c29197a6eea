#!/bin/zsh -f
# zsh-complete.zsh FPATH_DIR LINE: prints, one per line, the words that zsh's
# completion system offers for LINE followed by a TAB, with the completion
# functions of FPATH_DIR. An interactive zsh runs in a pseudo-terminal; its
# compadd is wrapped to print each word it is given between "<<" and ">>".
zmodload zsh/zpty || exit 2
zpty shell zsh -f -i
zpty -w shell "PROMPT= RPROMPT=; fpath=(${(q)1} \$fpath); autoload -U compinit; compinit -u -D"
zpty -w shell 'zstyle ":completion:*" list-prompt ""; LISTMAX=100000'
zpty -w shell 'compadd() {
    if [[ ${@[1,(i)(-|--)]} == *-(O|A|D)\ * ]]; then builtin compadd "$@"; return; fi
    local -a words; builtin compadd -A words "$@"
    local word; for word in $words; do print -r -- "<<$word>>"; done
    builtin compadd "$@"
}'
# The markers are written split, so that the echo of what is typed never
# matches them; only the output of print does.
zpty -w shell 'print -r -- "<<RE""ADY>>"'
zpty -r shell out '*<<READY>>*' || exit 2
zpty -w -n shell "$2"$'\t'
zpty -w shell $'\C-u print -r -- "<<DO""NE>>"'
zpty -r shell out '*<<DONE>>*' || exit 2
zpty -d shell
# What follows the echo of the last line typed is no completion.
typed='<<DO""NE>>'
print -r -- ${out%%${typed}*} | grep -ao '<<[^<>]*>>' | sed 's/^<<//; s/>>$//' | sort -u
