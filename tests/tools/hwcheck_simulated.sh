#!/usr/bin/env bash
# Drives veltrum-hwcheck on the simulated card as a technician would: raise the hopper, put a head in the
# opening through the sensor pipe, switch the inter-trial output, quit. Each step waits for the check's
# own line saying it happened, so nothing depends on how fast this machine is.
set -euo pipefail
hwcheck=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/sensor"

# The check reads keys from one pipe and writes its lines to another; plain pipes rather than a
# coprocess, whose variables vanish the moment it exits and would hide what it printed.
mkfifo "$work/keys" "$work/lines"
"$hwcheck" --data "$work" --card-trace "$work/trace" --sensor "$work/sensor" <"$work/keys" >"$work/lines" 2>&1 &
check_pid=$!
exec 3>"$work/keys" 4<"$work/lines"
output=()
# Reads the check's lines until one contains $1; fails after 20 s without it.
expect() {
    local line
    while IFS= read -r -t 20 line <&4; do
        output+=("$line")
        [[ $line == *"$1"* ]] && return 0
    done
    printf '%s\n' "${output[@]}" >&2
    echo "veltrum-hwcheck never showed: $1" >&2
    exit 1
}

expect "sensor: no head (780 = 0)"
echo u >&3
expect "hopper raised (792 = 2)"
echo 1 >"$work/sensor"
expect "sensor: head in (780 = 1)"
echo 0 >"$work/sensor"
expect "sensor: no head (780 = 0)"
echo i >&3
expect "inter-trial output on, hopper lowered (792 = 64)"
echo q >&3
expect "all outputs off (792 = 0)"
wait "$check_pid"

# The trace holds the writes in order: off at the start, hopper, inter-trial, off at the end.
writes=$(grep -o 'write 792 [0-9]*' "$work/trace" | tr '\n' ',')
[[ $writes == "write 792 0,write 792 2,write 792 64,write 792 0," ]] || {
    echo "trace writes: $writes" >&2
    exit 1
}
grep -q 'read 780 1' "$work/trace" || { echo "the head entry is not in the trace" >&2; exit 1; }
# Every line of the check carries its time since the start and since the line before.
for line in "${output[@]:2}"; do
    [[ $line =~ ^\ *[0-9]+\.[0-9]{3}\ s\ \ \(\+[0-9]+\.[0-9]{3}\)\ \  ]] || { echo "untimed: $line" >&2; exit 1; }
done
echo "hardware check on the simulated card: ok"
