#!/usr/bin/env bash
# The kv6d service unit as systemd reads it: every key known (a misspelt
# hardening key is ignored with a mere warning), an exposure score below 3 in
# `systemd-analyze security`, and no restart for the exit statuses that would
# only fail again: unusable arguments and a store migrated by a newer kv6d.
# usage: service_unit_test.sh UNIT KV6D KV6CTL
set -euo pipefail
unit=$1 kv6d=$2 kv6ctl=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
failed=0

# kv6d's own exit statuses, as it gives them.
timeout 20 "$kv6d" --listen localhost:8099 >/dev/null 2>&1 && bad_arguments=0 || bad_arguments=$?
"$kv6ctl" fleet jobs --db "$work/fleet.sqlite" >/dev/null
sqlite3 "$work/fleet.sqlite" 'UPDATE schema_version SET version = version + 1'
timeout 20 "$kv6d" --port 0 --db "$work/fleet.sqlite" >/dev/null 2>&1 && store_newer=0 || store_newer=$?
prevent=$(sed -n 's/^RestartPreventExitStatus=//p' "$unit")
for status in "$bad_arguments" "$store_newer"; do
    [[ $status -ne 0 && $status -ne 1 ]] || { echo "kv6d exits $status: not told apart from other failures"; failed=1; }
    [[ " $prevent " == *" $status "* ]] ||
        { echo "exit status $status is restarted (RestartPreventExitStatus=$prevent)"; failed=1; }
done
grep -qx 'Restart=on-failure' "$unit" || { echo "the unit does not restart kv6d after a crash"; failed=1; }

if ! command -v systemd-analyze >/dev/null || ! systemd-analyze security --help | grep -q -- --offline; then
    echo "systemd-analyze with --offline is not installed: run scripts/install-deps"
    exit 77
fi
# The binary and the man page are not installed here: stand-ins for both.
sed 's|^ExecStart=/usr/bin/kv6d|ExecStart=/bin/true|' "$unit" >"$work/kv6d.service"
warnings=$(systemd-analyze verify --man=no "$work/kv6d.service" 2>&1) ||
    { echo "systemd-analyze verify failed: $warnings"; failed=1; }
[[ -z $warnings ]] || { echo "systemd reads the unit with warnings:"; echo "$warnings"; failed=1; }
score=$(systemd-analyze security --offline=yes "$work/kv6d.service" 2>&1 |
        sed -n 's/.*Overall exposure level for kv6d.service: \([0-9.]*\).*/\1/p')
[[ -n $score ]] || { echo "systemd-analyze security gave no score"; exit 1; }
awk -v s="$score" 'BEGIN { exit !(s < 3) }' || { echo "exposure $score, not below 3"; failed=1; }
echo "exposure $score"
exit $failed
