# bash completion for torvane-cli

_torvane_cli_ports() {
    # The COM names the ports command lists, else the usual ones.
    local names
    names=$(torvane-cli ports 2>/dev/null | awk '/^COM[0-9]+ /{print $1}')
    [ -n "$names" ] || names="COM1 COM33 COM65"
    printf '%s\n' $names
}

_torvane_cli() {
    local cur prev command
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}

    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "update info ports images --help --version" -- "$cur"))
        return
    fi
    command=${COMP_WORDS[1]}

    case "$command" in
        update)
            case "$prev" in
                --port) COMPREPLY=($(compgen -W "$(_torvane_cli_ports)" -- "$cur")); return ;;
                --as) COMPREPLY=($(compgen -W "main loader upgrade" -- "$cur")); return ;;
                --log) COMPREPLY=($(compgen -f -- "$cur")); return ;;
            esac
            COMPREPLY=($(compgen -W "--port --all --repeat --as --trace --json --log --help" -- "$cur"))
            ;;
        ports)
            case "$prev" in
                --sysfs|--dev) COMPREPLY=($(compgen -d -- "$cur")); return ;;
            esac
            COMPREPLY=($(compgen -W "--sysfs --dev --help" -- "$cur"))
            ;;
        info|images)
            COMPREPLY=($(compgen -W "--help" -- "$cur"))
            ;;
    esac
}
complete -F _torvane_cli torvane-cli
