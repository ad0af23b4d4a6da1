#!/usr/bin/env bash
# Completes cova-digsig command lines in bash with bash-completion's helpers loaded, as an
# interactive shell would, and compares the candidates.
#   completiontest.sh COMPLETION_FILE
set -u
# shellcheck source=/dev/null
source /usr/share/bash-completion/bash_completion
# shellcheck source=/dev/null
source "$1"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/folder"
touch "$scratch/file"

failures=0
# check EXPECTED WORD... : completes the last word of the command line.
check() {
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _cova_digsig
    local got="${COMPREPLY[*]}"
    if [ "$got" != "$expected" ]; then
        echo "FAIL: \"$*\" completes to \"$got\", not \"$expected\""
        failures=$((failures + 1))
    fi
}

check "status set sign" cova-digsig s
check "status set sign" cova-digsig --sysroot /srv s
check "--sysroot --help --help-all --version" cova-digsig --
check "off debug on" cova-digsig set --elf ""
check "yes no" cova-digsig set --ignore-gost2001 ""
check "--ignore-xattr-keys --ignore-gost2001" cova-digsig set --ign
check "list add remove" cova-digsig control ""
check "$scratch/file" cova-digsig control add "$scratch/fi"
check "" cova-digsig control list ""
check "elf xattr both" cova-digsig sign --mode ""
check "$scratch/folder" cova-digsig sign --key ABC --mode elf "$scratch/fo"
check "$scratch/folder" cova-digsig set --audit "$scratch/"
check "--unsigned" cova-digsig verify --u
check "--json" cova-digsig status --j

[ "$failures" -eq 0 ] && echo "all completions as expected"
exit "$failures"
