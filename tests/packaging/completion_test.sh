#!/usr/bin/env bash
# kv6ctl's bash completion against the built kv6ctl: commands, options and the
# page keys of `set`, which must come from kv6ctl itself.
# usage: completion_test.sh KV6CTL COMPLETION_SCRIPT
set -u
kv6ctl=$1 script=$2

# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion 2>/dev/null ||
    { echo "bash-completion is missing: run scripts/install-deps"; exit 1; }
# shellcheck disable=SC1090
source "$script"
compopt() { :; }  # only usable while bash itself completes
PATH="$(dirname "$kv6ctl"):$PATH"

# The candidates for the last word of a command line; a final blank starts
# an empty word.
candidates() {
    local line=$1
    COMP_LINE=$line
    COMP_POINT=${#line}
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kv6ctl kv6ctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}"
}

failed=0
# offers LINE WORD...: every WORD is a candidate.
offers() {
    local line=$1 got word
    shift
    got=$(candidates "$line")
    for word; do
        grep -qxF -- "$word" <<<"$got" || { echo "'$line' does not offer '$word'; it offers: $(echo $got)"; failed=1; }
    done
}

offers 'kv6ctl ' read write-all show set password reset --help --version
offers 'kv6ctl re' read reset
offers 'kv6ctl read --' --port --remote --listen-port --wait --password --out --trace --pace --no-backup --time-zone
offers 'kv6ctl password --port 1 --' --old --new --trace
offers 'kv6ctl show site.prg --' --json --force --paramp --time-zone
offers 'kv6ctl write-all --' --verify --force --password-from-file --keep-password --no-backup --pace
offers 'kv6ctl reset --' --yes --no-backup
offers 'kv6ctl read --port 1 --pace ' reactive module
offers 'kv6ctl set site.prg obj' object.objectNumber= object.apn=

# Every key kv6ctl knows, and nothing else, after `set FILE`.
expected=$("$kv6ctl" keys | sed 's/$/=/' | sort)
got=$(candidates 'kv6ctl set site.prg ' | sort)
if [[ -z $expected || $got != "$expected" ]]; then
    echo "'kv6ctl set site.prg ' offers other keys than 'kv6ctl keys' lists:"
    diff <(echo "$expected") <(echo "$got") | head
    failed=1
fi
offers 'kv6ctl ' keys apply diff verify export backups journal state clear-journal
exit $failed
