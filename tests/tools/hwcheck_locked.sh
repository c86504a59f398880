#!/usr/bin/env bash
# veltrum-hwcheck refuses a card another program holds, naming the holder, and touches nothing.
set -euo pipefail
hwcheck=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VELTRUM_LOCK_DIR=$work
lock=$work/veltrum-card-comedi-comedi7.lock
echo "veltrum (process 4242)" >"$lock"
# flock(1) holds the lock while the check runs; the device does not exist, so a check that ignored the
# lock would fail differently.
status=0
message=$(flock "$lock" "$hwcheck" --card comedi --comedi-device /dev/comedi7 </dev/null 2>&1) || status=$?
expected="veltrum-hwcheck: The I/O card comedi-comedi7 is in use by veltrum (process 4242). Close that program first"
[[ $status == 1 && $message == "$expected"* ]] || {
    echo "status $status: $message" >&2
    exit 1
}
echo "held card refused: ok"
