#!/bin/sh
# Drafts expected listings: runs golden cases with ZEMA_GOLDEN_UPDATE=1, which
# rewrites <case>.lst (and <case>.err when the case has one or zema-kt wrote
# to standard error) from what the current zema-kt prints. A draft is not a
# test: read every rewritten file against its description before committing.
#
#   tests/golden/update.sh                 all cases
#   tests/golden/update.sh 'label_.*'      cases whose test name matches
#
# Builds the debug preset first. Move a description from pending/ to this
# directory to make it a case.
set -eu
cd "$(dirname "$0")/../.."
cmake --preset debug >/dev/null
cmake --build --preset debug --target zema-kt zema-mkobj
ZEMA_GOLDEN_UPDATE=1 ctest --preset debug -R "^golden\.(${1:-.*})$" -E '^golden\.(runner|pending)\.'
git status --short tests/golden
