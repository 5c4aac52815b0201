#!/usr/bin/env bash
# The bash completion of web2arc, called as bash calls it: with the command line and the cursor in
# COMP_LINE and COMP_POINT, and the words split at COMP_WORDBREAKS in COMP_WORDS.
# Usage: completionTest.sh <web2arc executable> <completion file>
set -uo pipefail
exe=$1
# shellcheck source=/dev/null
source "$2" || exit 1
failed=0

# Completes `line` with the cursor at its end and compares the offers, sorted, with the rest of the
# arguments.
expect() {
    local line=$1 IFS=$'\n'
    shift
    COMP_LINE=$line COMP_POINT=${#line}
    read -ra COMP_WORDS <<<"$line"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _web2arc web2arc
    local got want
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort)
    want=$(printf '%s\n' "$@" | sort)
    if [[ "$got" != "$want" ]]; then
        echo "FAIL: [$line]"$'\n'"  offered: ${got//$'\n'/ | }"$'\n'"  expected: ${want//$'\n'/ | }" >&2
        failed=1
    fi
}

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
mkdir sub 'my folder'
touch job.batch-web2arc JOB.BATCH-WEB2ARC index.htm Page.HTML 'my page.html' notes.txt page.mht

# The first parameter: projects (exact extension), pages (any letter case) and folders, nothing else.
expect 'web2arc ' 'my folder' sub job.batch-web2arc index.htm Page.HTML 'my page.html'
expect 'web2arc my' 'my folder' 'my page.html'
expect "web2arc 'my p" 'my page.html'
expect 'web2arc my\ f' 'my folder'
expect 'web2arc sub/'

# Only the first parameter counts.
expect 'web2arc index.htm '
expect 'web2arc index.htm -'

# The switches.
expect 'web2arc -' --help --version -P: -I -U
expect 'web2arc --v' --version
expect 'web2arc -P' -P:

# Inline option keys, in any letter case, after the colon and after each separator. Outside quotes
# bash replaces only the text after the last ':' or '='; inside quotes the whole argument.
expect 'web2arc -P:' Source= Target= Subdir= ThreadsCount= IsOverwrite= KeepFileTime= KeepTargetSubdirs= \
    DeleteSource= RenameSource= PureConsole= RunAndClose= Daemon= RegExt= SkipHidden= Charset= LogFile= Reports= RunScripts= MaxPages=
expect 'web2arc -p:keep' KeepFileTime= KeepTargetSubdirs=
expect 'web2arc -P:Source=/in/*.htm?,thr' '/in/*.htm?,ThreadsCount='
expect 'web2arc "-P:Source=/in/*.htm?;Sub' '-P:Source=/in/*.htm?;Subdir='
expect 'web2arc -P:Source=/in,Nothing'

# Values: booleans, the overwrite modes, folders for Target, pages and folders for Source, with the
# characters the shell would take escaped when the argument is not quoted.
expect 'web2arc -P:Subdir=' True False
expect 'web2arc -P:RunScripts=T' True
expect 'web2arc -P:IsOverwrite=s' skip
expect 'web2arc -P:Target=m' 'my\ folder/'
expect 'web2arc "-P:Source=/in,Target=m' '-P:Source=/in,Target=my folder/'
expect 'web2arc -P:Source=' 'my\ folder/' sub/ index.htm Page.HTML 'my\ page.html'
expect 'web2arc -P:ThreadsCount='

# The keys offered are the keys --help lists.
help_keys=$("$exe" --help | sed -n '/^Option keys/,/^Booleans/p' | awk 'NF > 1 && /^  [A-Z]/ { print $1 }' | sort)
offered=$(COMP_LINE='web2arc -P:' COMP_POINT=11 && _web2arc web2arc && printf '%s\n' "${COMPREPLY[@]%=}" | sort)
if [[ -z "$help_keys" || "$help_keys" != "$offered" ]]; then
    echo "FAIL: keys of --help: ${help_keys//$'\n'/ }; offered: ${offered//$'\n'/ }" >&2
    failed=1
fi

exit "$failed"
