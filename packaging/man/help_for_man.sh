#!/bin/sh
# Runs PROGRAM with the arguments help2man gives it (--help, --version) and
# writes its usage lines the way help2man reads a synopsis: "Usage: PROGRAM ..."
# and "  or: PROGRAM ..." for each further form, and "Options:" as a heading of
# its own.
# Usage: help_for_man.sh PROGRAM ARGS...
program=$1
shift
name=$(basename "$program")
"$program" "$@" | sed -e "s/^usage: $name /Usage: $name /" -e "s/^  *\\($name .*\\)/  or: \\1/" -e "s/^options:$/\\nOptions:/"
