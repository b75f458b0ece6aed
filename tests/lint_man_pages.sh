#!/bin/sh
# Lints manual pages: groff with all warnings on must have nothing to say
# about any of them. Usage: lint_man_pages.sh PAGE...
status=0
for page in "$@"; do
    complaints=$(groff -man -ww -z "$page" 2>&1)
    if [ -n "$complaints" ]; then
        printf '%s\n' "$complaints"
        status=1
    fi
done
exit $status
