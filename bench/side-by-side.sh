#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times two builds of the quillmark command line turn about on a fresh, warmed copy of one of
# the benchmark's corpora (made by bench/run.sh under /var/tmp/quillmark-bench), and prints the
# medians and their ratio. For a change's cost: OLD is the build before it, NEW the one after.
#
#   OLD=path/to/quillmark NEW=path/to/quillmark bench/side-by-side.sh CORPUS ROUNDS ARGS...
#   e.g. bench/side-by-side.sh A 15 --find needle --replace thread --case-sensitive
set -euo pipefail
corpus=$1; rounds=$2; shift 2
W=${WORK:-/var/tmp/quillmark-bench}
: "${OLD:?OLD names the quillmark program before the change}"
: "${NEW:?NEW names the quillmark program after it}"
declare -a to tn
for r in $(seq 1 $rounds); do
  for who in old new; do
    rm -rf $W/ab; cp -a $W/pristine-$corpus $W/ab; sync
    find $W/ab -type f -exec cat {} + >/dev/null  # warm
    prog=$OLD; [ $who = new ] && prog=$NEW
    s=$(date +%s.%N); "$prog" "$@" --filter '*' $W/ab > /dev/null 2>&1 || true; e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc)
    if [ $who = old ]; then to+=($t); else tn+=($t); fi
  done
done
mo=$(printf '%s\n' "${to[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
mn=$(printf '%s\n' "${tn[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
echo "$corpus $* : old median $mo s, new median $mn s, new/old $(echo "scale=3; $mn / $mo" | bc)"
rm -rf "$W/ab"
