#!/bin/bash
# The Windows deliverables and their tests in one command, as CI runs them
# (scripts/test-all.sh calls this); see README.md beside it.
exec "$(dirname "$0")/wine.sh" test "$@"
