#!/usr/bin/env bash
# Installs what is missing, builds, starts the stand-in ERP server with the
# demo companies (TLS, its certificate made next to the database on the
# first run) and the program logged in as the demo user.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

data="${XDG_DATA_HOME:-$HOME/.local/share}/quendra"
mkdir -p "$data"
log="$data/veltar-standin.log"
build/bin/veltar-standin --db "$data/demo.db" --port 0 --demo >"$log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
port=""
for _ in $(seq 1 100); do
    port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$log")
    [ -n "$port" ] && break
    kill -0 "$server" 2>/dev/null || { cat "$log"; exit 1; }
    sleep 0.1
done
[ -n "$port" ] || { echo "veltar-standin did not start"; cat "$log"; exit 1; }
echo "veltar-standin with the demo companies on 127.0.0.1:$port, TLS ($data/demo.db, its certificate $data/demo.db.crt)"
echo "company 1: user DEM, password demo; company 2: user ZW, password zwei"

run=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: the program runs under xvfb-run (invisible)."
    run=(xvfb-run -a)
fi
"${run[@]}" build/bin/quendrapr 1 0 DEM demo 127.0.0.1 "$port" VELTAR "$@"
