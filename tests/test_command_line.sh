#!/usr/bin/env bash
# The command line every installed program shares: -h and --help print the
# usage on stdout with status 0, --version prints the name and the
# project's version with status 0, and a bad option prints one line saying
# why and the usage on stderr with status 2. An answer that can't be
# written (>/dev/full) fails with status 1. fslog alone takes its one
# argument as the device, whatever it looks like.
#     test_command_line.sh BIN_DIR VERSION
set -uo pipefail
bin=$1
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Runs PROGRAM ARG; sets status, out and err.
run() {
    "$1" "$2" >"$scratch/out" 2>"$scratch/err" </dev/null
    status=$?
    out=$(<"$scratch/out")
    err=$(<"$scratch/err")
}

programs=("$bin"/*)
((${#programs[@]} >= 8)) || fail "only ${#programs[@]} programs in $bin"
for program in "${programs[@]}"; do
    name=$(basename "$program")
    run "$program" --help
    help=$out
    [[ $status -eq 0 && $help == "Usage: $name "* && -z $err ]] ||
        fail "$name --help: status $status, stdout '${help:0:40}...', stderr '$err'"
    run "$program" -h
    [[ $status -eq 0 && $out == "$help" && -z $err ]] || fail "$name -h: status $status, not the --help text"
    run "$program" --version
    [[ $status -eq 0 && $out == "$name $version" && -z $err ]] ||
        fail "$name --version: status $status, stdout '$out', stderr '$err'"
    for option in --help --version; do
        "$program" $option >/dev/full 2>"$scratch/err"
        status=$?
        [[ $status -eq 1 && $(<"$scratch/err") == "$name: can't write the answer: "* ]] ||
            fail "$name $option >/dev/full: status $status, stderr '$(<"$scratch/err")'"
    done
    run "$program" --no-such-option
    if [[ $name == fslog ]]; then
        [[ $status -eq 1 && $out == $'\nCouldn\'t open port --no-such-option' ]] ||
            fail "fslog --no-such-option: status $status, stdout '$out'"
    else
        [[ $status -eq 2 && -z $out && $err == "$name: unknown option --no-such-option"$'\n'"$help" ]] ||
            fail "$name --no-such-option: status $status, stdout '$out', stderr '$err'"
    fi
done
# A bad value stays refused when a good one follows it.
"$bin/fslog-plot" --size 1x1 --size 900x780 "$scratch/none.log" "$scratch/out.png" >/dev/null 2>"$scratch/err"
status=$?
[[ $status -eq 2 && $(head -n 1 "$scratch/err") == "fslog-plot: --size 1x1: "* ]] ||
    fail "fslog-plot --size 1x1 --size 900x780: status $status, stderr '$(head -n 1 "$scratch/err")'"
if ((failures > 0)); then
    exit 1
fi
echo "${#programs[@]} programs follow the command line"
