# bash completion for web2arc                                    -*- shell-script -*-
#
# web2arc reads only its first parameter: a project file (*.batch-web2arc), a page (*.htm, *.html), a
# folder, a web address, a switch, or inline options (-P:KEY=VALUE,KEY=VALUE). So only the first
# parameter is completed; inside -P: the option keys are, after the colon and after each ',' or ';',
# and some of their values after '='.
#
# The file needs nothing from the bash-completion package, so it also works when sourced by hand.

# Reads the command line up to the cursor as the shell will split it, into variables of the caller:
#   index   number of the argument under the cursor (0 is the command itself)
#   arg     that argument without its quoting
#   keep    the leading part of arg that the shell leaves in place when it inserts a completion: up
#           to an open quote, else up to the last character of COMP_WORDBREAKS (':' and '=' by
#           default), so a completion of "-P:Sou" replaces only "Sou"
#   typed   the text after `keep` as it was typed, quoting and all
#   quoted  set when the argument ends inside an open quote
_web2arc_read_line()
{
    local line=${COMP_LINE:0:COMP_POINT} c i started=
    index=0 arg= keep= typed= quoted=
    for ((i = 0; i < ${#line}; i++)); do
        c=${line:i:1}
        if [[ $quoted == "'" ]]; then
            if [[ $c == "'" ]]; then quoted=; else arg+=$c; fi
        elif [[ $quoted == '"' ]]; then
            if [[ $c == '"' ]]; then
                quoted=
            elif [[ $c == '\' && ${line:i+1:1} == [\"\\\$\`] ]]; then
                arg+=${line:i+1:1}
                ((i++))
            else
                arg+=$c
            fi
        elif [[ $c == [[:space:]] ]]; then
            if [[ -n $started ]]; then
                ((index++))
                arg= keep= typed= started=
            fi
            continue
        elif [[ $c == [\'\"] ]]; then
            quoted=$c keep=$arg typed= started=1
        elif [[ $c == '\' ]]; then
            arg+=${line:i+1:1}
            typed+=${line:i:2}
            ((i++))
            started=1
            continue
        else
            arg+=$c
            started=1
            if [[ $COMP_WORDBREAKS == *"$c"* ]]; then
                keep=$arg typed=
                continue
            fi
        fi
        typed+=$c
    done
    [[ -n $started ]] || arg= keep= typed=
}

# _web2arc_paths PATH [PATTERN...]: the names that may follow PATH (already unquoted), one a line:
# folders with a trailing '/', and the files whose name matches one of the glob patterns.
_web2arc_paths()
{
    local path=$1 name pattern
    shift
    while IFS= read -r name; do
        [[ -n $name ]] && printf '%s/\n' "$name"
    done < <(compgen -d -- "$path")
    while IFS= read -r name; do
        [[ -z $name || -d $name ]] && continue
        for pattern; do
            # shellcheck disable=SC2053 # the pattern is a glob on purpose
            if [[ $name == $pattern ]]; then
                printf '%s\n' "$name"
                break
            fi
        done
    done < <(compgen -f -- "$path")
}

# _web2arc_escape TEXT VARIABLE: stores TEXT into VARIABLE with a backslash before each character the
# shell would otherwise interpret.
_web2arc_escape()
{
    local text=$1 escaped= c i
    for ((i = 0; i < ${#text}; i++)); do
        c=${text:i:1}
        [[ $c == [[:space:]\'\"\\\$\`\&\|\;\<\>\(\)\*\?\!\{\}\[\]] ]] && escaped+='\'
        escaped+=$c
    done
    printf -v "$2" '%s' "$escaped"
}

# _web2arc_as_typed WORD TYPED COMPLETION VARIABLE: stores into VARIABLE what the shell is to insert
# for COMPLETION of the unquoted WORD (written as TYPED on the line): the part of WORD it keeps stays
# as typed (the whole word, or up to its last ',' or ';' when a key's letter case changes), the part
# it adds is escaped.
_web2arc_as_typed()
{
    local word=$1 raw=$2 completion=$3 kept= separator added
    if [[ $completion == "$word"* ]]; then
        kept=$word
    elif [[ $word == *[,\;]* ]]; then
        kept=${word%[,;]*}
        separator=${word:${#kept}:1}
        kept+=$separator
        raw=${raw%[,;]*}$separator
        [[ $completion == "$kept"* ]] || kept= raw=
    else
        raw=
    fi
    _web2arc_escape "${completion:${#kept}}" added
    printf -v "$4" '%s' "$raw$added"
}

# Completions of the part of an inline-options argument after its last separator: "KEY=" for an
# unfinished key, the values of the key before '='.
_web2arc_inline()
{
    local part=$1 key value candidate
    local -a keys=(Source Target Subdir ThreadsCount IsOverwrite KeepFileTime KeepTargetSubdirs DeleteSource
        RenameSource PureConsole RunAndClose Daemon RegExt SkipHidden Charset LogFile Reports
        RunScripts MaxPages)
    if [[ $part != *=* ]]; then
        for key in "${keys[@]}"; do
            [[ ${key,,} == "${part,,}"* ]] && printf '%s=\n' "$key"
        done
        return
    fi
    key=${part%%=*} value=${part#*=}
    case ${key,,} in
        subdir | keepfiletime | keeptargetsubdirs | deletesource | pureconsole | runandclose | skiphidden | reports | runscripts)
            compgen -W 'True False' -- "$value" ;;
        isoverwrite) compgen -W 'True False skip' -- "$value" ;;
        source) _web2arc_paths "$value" "${pages[@]}" ;;
        target) _web2arc_paths "$value" ;;
        logfile) _web2arc_paths "$value" '*' ;;
    esac | while IFS= read -r candidate; do
        printf '%s=%s\n' "$key" "$candidate"
    done
}

_web2arc()
{
    local IFS=$' \t\n' index arg keep typed quoted candidate rest
    local -a candidates=()
    # Pages are found by their extension in any letter case; a project's extension must be exact.
    local -a pages=('*.[hH][tT][mM]' '*.[hH][tT][mM][lL]')
    _web2arc_read_line
    COMPREPLY=()
    ((index == 1)) || return 0 # only the first parameter counts

    if [[ $arg == [-/][Pp]:* ]]; then
        # Inline options: complete the text after the last ',' or ';'.
        local lead=${arg:0:3} options=${arg:3} done_part=
        if [[ $options == *[,\;]* ]]; then
            done_part=${options%[,;]*}
            done_part+=${options:${#done_part}:1}
        fi
        while IFS= read -r candidate; do
            candidates+=("$lead$done_part$candidate")
        done < <(_web2arc_inline "${options:${#done_part}}")
        compopt -o nospace 2>/dev/null
    elif [[ $arg == -* ]]; then
        while IFS= read -r candidate; do
            candidates+=("$candidate")
        done < <(compgen -W '--help --version -P: -I -U' -- "$arg")
        [[ ${#candidates[@]} -eq 1 && ${candidates[0]} == *: ]] && compopt -o nospace 2>/dev/null
    else
        # A project, a page or a folder; the shell quotes the names and adds the '/' of folders.
        compopt -o filenames 2>/dev/null
        while IFS= read -r candidate; do
            candidates+=("${candidate%/}")
        done < <(_web2arc_paths "$arg" '*.batch-web2arc' "${pages[@]}")
    fi

    # The shell replaces only the text after `keep` and, outside quotes, inserts the rest as it is:
    # what was typed stays as typed, and what completion adds inside -P: gets backslashes where the
    # shell would otherwise take a character (a folder name with a space).
    local word=${arg:${#keep}}
    for candidate in "${candidates[@]}"; do
        [[ $candidate == "$keep"* ]] || continue
        rest=${candidate:${#keep}}
        [[ -z $quoted && $arg == [-/][Pp]:* ]] && _web2arc_as_typed "$word" "$typed" "$rest" rest
        COMPREPLY+=("$rest")
    done
    return 0
}

complete -F _web2arc web2arc
