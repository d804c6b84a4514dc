# bash completion for pictra(1)

_pictra() {
    local cur prev words cword
    _init_completion || return

    local subcommands='formats info extract convert create set sheet'
    local batch='-r --recursive -j --jobs -q --quiet --help'
    local subcommand= i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --module) ((i++)) ;;
            -*) ;;
            *) subcommand=${words[i]}; break ;;
        esac
    done

    case $prev in
        --module)
            _filedir vxm
            return ;;
        -o|--output)
            if [[ $subcommand == sheet ]]; then _filedir png; else _filedir -d; fi
            return ;;
        -f|--format)
            local names
            names=$("${words[0]}" formats 2>/dev/null | awk 'NR > 1 { print $1 }')
            COMPREPLY=($(compgen -W "$names" -- "${cur^^}"))
            return ;;
        --type)
            COMPREPLY=($(compgen -W 'disk drawer tool project garbage device kick appicon' -- "$cur"))
            return ;;
        --fit)
            COMPREPLY=($(compgen -W 'scale pad' -- "$cur"))
            return ;;
        --show-all)
            COMPREPLY=($(compgen -W 'yes no' -- "$cur"))
            return ;;
        --selected)
            _filedir
            return ;;
        -j|--jobs|--scale|--stack|--sizes|--name|--default-tool|--tool-type|--remove-tool-type|\
        --set-tool-type|--position|--drawer|--view-mode)
            return ;;
    esac

    if [[ -z $subcommand ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--module --help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$subcommands" -- "$cur"))
        fi
        return
    fi

    local options
    case $subcommand in
        formats) options='--json --help' ;;
        info) options="--json --table $batch" ;;
        extract) options="-o --output $batch" ;;
        convert) options="-f --format -c --compress --exact --fit -o --output --name $batch" ;;
        create) options="-f --format -c --compress --sizes --selected --type --default-tool
                         --tool-type --stack -o --output --name $batch" ;;
        set) options="--type --default-tool --no-default-tool --tool-type --remove-tool-type
                      --set-tool-type --clear-tool-types --stack --position --no-position --drawer
                      --view-mode --show-all --dry-run $batch" ;;
        sheet) options="-o --output --scale $batch" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        _filedir
    fi
} &&
    complete -F _pictra pictra
