#!/usr/bin/env bash
# Prints a man page made from a program's own --help text, so that the two
# never differ: its usage lines become the synopsis, the rest the description,
# and each subcommand listed as "  NAME COMMAND ..." gets a section with the
# text of "NAME COMMAND --help".
#   make-man.sh PROGRAM NAME "one line on what it does" NAME.1
set -euo pipefail
program=$1 name=$2 description=$3
exec >"$4"

# Text for roff: backslashes escaped, no line taken for a request.
roff() { sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }

help=$("$program" --help)
echo ".TH ${name^^} 1 \"\" \"$name\" \"User Commands\""
echo ".SH NAME"
echo "$name \\- $description"
echo ".SH SYNOPSIS"
echo ".nf"
printf '%s\n' "$help" | sed -n -e 's/^usage: //p' -e 's/^       \([^ ]\)/\1/p' | roff
echo ".fi"
echo ".SH DESCRIPTION"
echo ".nf"
printf '%s\n' "$help" | sed -e '/^usage: /d' -e '/^       [^ ]/d' | roff
echo ".fi"
commands=$(printf '%s\n' "$help" | sed -n "s/^  $name \\([a-z][a-z0-9-]*\\).*/\\1/p")
if [ -n "$commands" ]; then
  echo ".SH COMMANDS"
  for command in $commands; do
    echo ".SS $command"
    echo ".nf"
    "$program" "$command" --help | roff
    echo ".fi"
  done
fi
