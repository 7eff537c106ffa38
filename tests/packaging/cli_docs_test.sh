#!/usr/bin/env bash
# The command-line tool's manual page and bash completion against the tool itself: every command
# of --help has its section, every option the tool parses and every variable it reads is in the
# page, and completion offers each command's own options and no others.
# Usage: cli_docs_test.sh KINEVISTA_CLI
set -uo pipefail
cli=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
page=$src/packaging/man/kinevista-cli.1
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

help=$("$cli" --help)
commands=$(awk '/^commands:/{on=1; next} /^$/{on=0} on{print $1}' <<<"$help")
[ "$(wc -w <<<"$commands")" -ge 10 ] || fail "--help lists only: $commands"
for c in $commands; do
    grep -q "^\.SS $c\b" "$page" || fail "the manual page has no section for $c"
done

# Options: every "--name" literal the tool's sources parse.
options=$(grep -ohE '"--[a-z][a-z-]*"' "$src"/tools/cli/*.cpp | tr -d '"' | sort -u)
[ "$(wc -w <<<"$options")" -ge 30 ] || fail "found only these options in the sources: $options"
for o in $options; do
    grep -qF -- "${o//-/\\-}" "$page" || fail "the manual page does not mention $o"
done

# Variables the tool reads (the editor's and Windows' own are in their pages).
vars=$(grep -oE 'getenv\("KINEVISTA_[A-Z_]+"\)' "$src"/tools/cli/*.cpp "$src"/output/*.cpp \
           "$src"/core/*/*.cpp "$src"/platform/os/public_folder.cpp "$src"/platform/video/*.cpp |
       grep -v '_win\.cpp:' | sed 's/.*getenv("\(.*\)")/\1/' | sort -u)
grep -q KINEVISTA_PUBLIC <<<"$vars" || fail "KINEVISTA_PUBLIC not found among: $vars"
for v in $vars; do
    sed -n '/^\.SH ENVIRONMENT/,/^\.SH FILES/p' "$page" | grep -q "^\.B ${v//_/\\_}$\|^\.B $v$" ||
        fail "the manual page's ENVIRONMENT does not list $v"
done

# Completion, as bash calls it.
source "$src/packaging/bash-completion/kinevista-cli"
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kinevista_cli
    echo " ${COMPREPLY[*]} "
}
got=$(complete_words "$cli" "")
for c in $commands; do [[ $got == *" $c "* ]] || fail "completion does not offer the command $c"; done
for c in $commands; do
    got=$(complete_words "$cli" "$c" x --)
    line=$(awk -v c="$c" '/^commands:/{on=1; next} /^$/{on=0} on && $1 == c' <<<"$help")
    for o in $(grep -oE -- '--[a-z][a-z-]*' <<<"$line" | sort -u); do
        [ "$c" = batch ] && { [ "$o" = --end ] || [ "$o" = --frames ]; } && continue
        [[ $got == *" $o "* ]] || fail "completion of $c does not offer $o"
    done
done
got=$(complete_words "$cli" movie s.kvx --)
[[ $got == *" --no-fields "* && $got == *" --settings "* ]] || fail "movie completion: $got"
[[ $got != *" --half "* && $got != *" --segments "* ]] || fail "movie offers others' options: $got"
got=$(complete_words "$cli" batch --out x.avi --)
[[ $got != *" --end "* && $got != *" --frames "* ]] || fail "batch offers --end/--frames: $got"
got=$(complete_words "$cli" movie s.kvx --aspect "")
[ "$got" = " 16:9 9:16 1:1 4:5 4:3 " ] || fail "--aspect values: $got"

[ $failures -eq 0 ] && echo "cli docs: $(wc -w <<<"$commands") commands, $(wc -w <<<"$options") options, $(wc -w <<<"$vars") variables covered"
exit $((failures > 0))
