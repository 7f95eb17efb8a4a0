#!/bin/sh
# examples/fresh-copy: at the example's own moment the copy is the example
# byte for byte; a day later every moment is a day later, and nothing else
# (durations, sizes, "never") has changed.
set -eu
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
anchor=1796150123
"$root/examples/fresh-copy" "$work/same" "$anchor"
cmp "$root/examples/client_state.xml" "$work/same/client_state.xml"
cmp "$root/examples/global_prefs.xml" "$work/same/global_prefs.xml"

"$root/examples/fresh-copy" "$work/later" $((anchor + 86400))
# Pair the lines of both files; print those whose text differs in any way but
# a whole-seconds moment exactly 86400 later.
paste -d '\n' "$root/examples/client_state.xml" "$work/later/client_state.xml" | awk '
  NR % 2 == 1 { before = $0; next }
  before != $0 {
    split(before, a, /[<>.]/); split($0, b, /[<>.]/)
    if (!(a[2] == b[2] && b[3] - a[3] == 86400 && a[4] == b[4] && a[3] > 100000000)) { print "changed: " before " -> " $0; bad = 1 }
    moved++
  }
  END { if (moved < 60) { print "only " moved " moments moved"; bad = 1 } exit bad }'
grep -q '<current_cpu_time>' "$work/later/client_state.xml"
