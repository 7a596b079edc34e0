# bash completion for blockwaves
_blockwaves() {
    local cur prev words cword
    _init_completion || return

    local commands="render demo info thumbnail sheet prefs configure"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            render|demo|info|thumbnail|sheet|prefs|configure) command=${words[i]}; break ;;
        esac
    done

    case "$prev" in
        --variant) COMPREPLY=($(compgen -W "between before after" -- "$cur")); return ;;
        -o|--output) _filedir; return ;;
        --speed|--frames|--size|--still-duration) return ;;
    esac

    local length="--speed --frames --size"
    local output="-o --output -y -n --quiet"
    case "$command" in
        "")
            COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur")) ;;
        render)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$output $length --variant --still-duration --proxy --transition-only --stats --allow-short --help" -- "$cur"))
            else
                _filedir
            fi ;;
        demo)
            COMPREPLY=($(compgen -W "$output $length --help" -- "$cur")) ;;
        info)
            COMPREPLY=($(compgen -W "--speed --help" -- "$cur")) ;;
        thumbnail|sheet)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$output $length --still-duration --help" -- "$cur"))
            else
                _filedir
            fi ;;
        configure)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$length --variant --still-duration --help" -- "$cur"))
            else
                _filedir
            fi ;;
        prefs)
            if [[ " ${words[*]:1:cword-1} " == *" set "* ]]; then
                compopt -o nospace
                case "$cur" in
                    randomized=*) COMPREPLY=($(compgen -P randomized= -W "on off" -- "${cur#*=}")); compopt +o nospace ;;
                    media=*) COMPREPLY=($(compgen -P media= -W "ntsc pal hd" -- "${cur#*=}")); compopt +o nospace ;;
                    *) COMPREPLY=($(compgen -W "method= columns= rows= duration= randomized= color= rect= media=" -- "$cur")) ;;
                esac
            else
                COMPREPLY=($(compgen -W "show set reset --help" -- "$cur"))
            fi ;;
    esac
}
complete -F _blockwaves blockwaves
