#!/usr/bin/env bash
# service-sim with RAS on the service protocol's port: an endpoint registers there, and
# login-round logs in on the same port.
# Usage: shared_port_test.sh SERVICE_SIM H323_ENDPOINT LOGIN_ROUND
set -euo pipefail
sim=$1
endpoint=$2
phone=$3
log=$(mktemp)
out=$(mktemp)
"$sim" --service-port 0 --ras-on-service-port </dev/null >"$log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -f "$log" "$out"' EXIT

port=
for _ in $(seq 50); do
    port=$(sed -n 's/.*ras gatekeeper on udp 127\.0\.0\.1:\([0-9]*\), shared with the service.*/\1/p' "$log")
    [[ -n "$port" ]] && break
    sleep 0.1
done
[[ -n "$port" ]] || { echo "service-sim did not start:"; cat "$log"; exit 1; }
grep -q "service protocol on udp 127.0.0.1:$port," "$log" || { cat "$log"; exit 1; }

timeout 20 "$endpoint" --listen 0 --gatekeeper "127.0.0.1:$port" --alias 8002 --password demo \
    --max-seconds 1 >"$out" 2>&1 || true
grep -q '^REGISTERED' "$out" || { echo "no registration:"; cat "$out" "$log"; exit 1; }
timeout 20 "$phone" --server-port "$port" --account 8002 --password demo
grep -q 'registrationRequest from .* -> registrationConfirm' "$log" || { cat "$log"; exit 1; }
grep -q '"Auth 8002 .* 200" (8002 logged in)' "$log" || { cat "$log"; exit 1; }
