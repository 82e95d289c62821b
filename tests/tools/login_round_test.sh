#!/usr/bin/env bash
# The two programs together: login-round logs in to service-sim and exits 0; a wrong password 1.
# Usage: login_round_test.sh SERVICE_SIM LOGIN_ROUND
set -euo pipefail
sim=$1
phone=$2
log=$(mktemp)
"$sim" --service-port 0 </dev/null >"$log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -f "$log"' EXIT

port=
for _ in $(seq 50); do
    port=$(sed -n 's/.*service protocol on udp 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
    [[ -n "$port" ]] && break
    sleep 0.1
done
[[ -n "$port" ]] || { echo "service-sim did not start:"; cat "$log"; exit 1; }

timeout 20 "$phone" --server-port "$port" --account 8002 --password demo
if timeout 20 "$phone" --server-port "$port" --account 8002 --password wrong; then
    echo "a wrong password logged in"
    exit 1
fi
grep -q '"Auth 8002 .* 200" (8002 logged in)' "$log" || { cat "$log"; exit 1; }
grep -q '"Auth 8002 .* 400" (wrong digest for 8002)' "$log" || { cat "$log"; exit 1; }
