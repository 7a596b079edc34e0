# bash completion for blockwaves
_blockwaves() {
    local cur prev words cword
    _init_completion || return

    local commands="render demo info thumbnail sheet prefs configure wipe"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            render|demo|info|thumbnail|sheet|prefs|configure|wipe) command=${words[i]}; break ;;
        esac
    done

    case "$prev" in
        --variant) COMPREPLY=($(compgen -W "between before after" -- "$cur")); return ;;
        --for) COMPREPLY=($(compgen -W "mlt shotcut kdenlive openshot obs" -- "$cur")); return ;;
        -o|--output|--settings) _filedir; return ;;
        --randomized) COMPREPLY=($(compgen -W "on off" -- "$cur")); return ;;
        --speed|--frames|--overlap|--size|--still-duration|--method|--columns|--rows|--grid|--tile-duration|--color|--rect) return ;;
    esac

    local length="--speed --frames --size"
    local output="-o --output -y -n --quiet"
    local settings="--method --columns --rows --grid --tile-duration --randomized --color --rect --settings"
    case "$command" in
        "")
            COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur")) ;;
        render)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$output $length $settings --overlap --variant --still-duration --dry-run --proxy --transition-only --stats --engine --allow-short -an --help" -- "$cur"))
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
        wipe)
            COMPREPLY=($(compgen -W "$output $settings --size --frames --for --install --help" -- "$cur")) ;;
        prefs)
            local action=""
            for ((i++; i < cword; i++)); do
                case "${words[i]}" in show|set|reset|export|import) action=${words[i]}; break ;; esac
            done
            case "$action" in
                "") COMPREPLY=($(compgen -W "show set reset export import --help" -- "$cur")) ;;
                export|import) _filedir ;;
                set)
                    compopt -o nospace
                    case "$cur" in
                        randomized=*) COMPREPLY=($(compgen -P randomized= -W "on off" -- "${cur#*=}")); compopt +o nospace ;;
                        media=*) COMPREPLY=($(compgen -P media= -W "ntsc pal hd" -- "${cur#*=}")); compopt +o nospace ;;
                        *) COMPREPLY=($(compgen -W "method= columns= rows= duration= randomized= color= rect= media=" -- "$cur")) ;;
                    esac ;;
            esac ;;
    esac
}
complete -F _blockwaves blockwaves
