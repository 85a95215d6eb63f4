# bash completion for kestrin                              -*- shell-script -*-
# Commands, their options, the --to targets, the --names styles, and folders
# for SOURCE and --out.

_kestrin()
{
    local cur prev words cword
    _init_completion -s || return

    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            list | convert | help)
                command=${words[i]}
                break
                ;;
        esac
    done

    case $prev in
        --to)
            COMPREPLY=($(compgen -W 'eml mbox archive maildir' -- "$cur"))
            return
            ;;
        --names)
            COMPREPLY=($(compgen -W 'ascii unicode' -- "$cur"))
            return
            ;;
        --out)
            _filedir -d
            return
            ;;
        --folder)
            # Folder paths are printed by "kestrin list"; nothing to offer.
            return
            ;;
    esac
    [[ $was_split ]] && return

    case $command in
        "")
            COMPREPLY=($(compgen -W 'list convert help --help --version' -- "$cur"))
            ;;
        help)
            COMPREPLY=($(compgen -W 'list convert' -- "$cur"))
            ;;
        list)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--json --help' -- "$cur"))
            else
                _filedir -d
            fi
            ;;
        convert)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--to --out --folder --names --skip-empty --no-progress --verify --keep-bytes --json --help' -- "$cur"))
            else
                _filedir -d
            fi
            ;;
    esac
} &&
    complete -F _kestrin kestrin

# ex: filetype=sh
