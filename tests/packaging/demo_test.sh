#!/usr/bin/env bash
# scripts/demo given a relative build folder (as `make demo` gives it) must
# leave no param2 behind that points at the simulator's vanished device.
# The desktop tool is replaced by a stand-in that records param2 and exits.
# usage: demo_test.sh DEMO_SCRIPT KV6SIM
set -euo pipefail
demo=$1 sim=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build/src/app" "$work/build/tools/kv6sim"
ln -s "$sim" "$work/build/tools/kv6sim/kv6sim"
cat >"$work/build/src/app/korvel-kv6" <<'TOOL'
#!/bin/sh
cp param2 ../../param2.during
TOOL
chmod +x "$work/build/src/app/korvel-kv6"

failed=0
cd "$work"
QT_QPA_PLATFORM=offscreen "$demo" build >/dev/null
grep -q '^/dev/pts/' build/param2.during || { echo "the tool did not get the simulator's port"; failed=1; }
[[ ! -e build/src/app/param2 ]] || { echo "param2 left behind: $(cat build/src/app/param2)"; failed=1; }

printf 'COM3\npace=reactive\n' >build/src/app/param2
QT_QPA_PLATFORM=offscreen "$demo" build >/dev/null
[[ $(cat build/src/app/param2) == $'COM3\npace=reactive' ]] ||
    { echo "param2 not given back: $(cat build/src/app/param2)"; failed=1; }
exit $failed
