#!/bin/sh
# Builds a small network of two namespaces joined by a veth pair:
#   PC      10.0.0.1/24, default route on the veth (for 255.255.255.255)
#   modules 10.0.0.5, .6, .7 - one nov-sim on each, UDP port 8001, HTTP port 80
# runs the NOV test program in the PC namespace and removes everything again.
# Exit 77 (skipped) where namespaces cannot be made.
set -u
inside=$1
sim=$2
tag=vrnnov$$
pc=${tag}pc
mod=${tag}mod
logdir=$(mktemp -d)
pids=""

cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    ip netns del "$pc" 2>/dev/null
    ip netns del "$mod" 2>/dev/null
    rm -rf "$logdir"
}

if ! ip netns add "$pc" 2>"$logdir/err"; then
    echo "SKIPPED: cannot create a network namespace here ($(cat "$logdir/err")); run as root to include this test."
    rm -rf "$logdir"
    exit 77
fi
trap cleanup EXIT
trap 'exit 1' INT TERM
ip netns add "$mod" || exit 1
ip link add v$$p netns "$pc" type veth peer name v$$m netns "$mod" || exit 1
ip -n "$pc" addr add 10.0.0.1/24 brd + dev v$$p
for a in 5 6 7; do ip -n "$mod" addr add 10.0.0.$a/24 brd + dev v$$m; done
for ns in "$pc" "$mod"; do ip -n "$ns" link set lo up; done
ip -n "$pc" link set v$$p up
ip -n "$mod" link set v$$m up
ip -n "$pc" route add default dev v$$p

start_sim() { # name http-address reply serial [delay]
    ip netns exec "$mod" "$sim" --http "$2" --reply "$3" --serial "$4" --reply-delay-ms "${5:-0}" --quiet \
        >"$logdir/$1" 2>&1 &
    pids="$pids $!"
}
start_sim stage 10.0.0.5:80 "AB123 7 10.0.0.5 x y Stage left" SN-0005
start_sim plain 10.0.0.6:80 "CD456 1 10.0.0.6 x y " SN-0006
# Same first five characters as the first, and late: never listed.
start_sim twin 10.0.0.7:80 "AB123 9 10.0.0.7 x y Twin" SN-0007 300
for _ in $(seq 100); do
    [ -s "$logdir/stage" ] && [ -s "$logdir/plain" ] && [ -s "$logdir/twin" ] && break
    sleep 0.1
done
for s in stage plain twin; do
    [ -s "$logdir/$s" ] || { echo "nov-sim $s did not start:"; cat "$logdir/$s"; exit 1; }
done
# A configuration folder of its own: the scan uses the default target.
XDG_CONFIG_HOME=$logdir/config ip netns exec "$pc" "$inside"
