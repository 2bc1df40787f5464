#!/bin/sh
# Starts the SQL Server stand-in with the demo database on 127.0.0.1:1433 and the program with the
# login fields already holding the demo server, database and user. The demo's settings live in a
# folder of its own, never the user's real settings; the stand-in keeps the demo database in memory
# only, so nothing outside it changes. The stand-in stops when the program ends.
set -eu
cd "$(dirname "$0")/../.."

BUILD=${BUILD:-build}
PORT=1433

if python3 - "$PORT" <<'PY'
import socket, sys
s = socket.socket()
try:
    s.connect(("127.0.0.1", int(sys.argv[1])))
except OSError:
    sys.exit(1)
PY
then
    echo "Port $PORT on 127.0.0.1 is already taken; stop whatever listens there and run 'make demo' again." >&2
    exit 1
fi

demo_home=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-demo.XXXXXX")
mkdir -p "$demo_home/config/Quorvane"
cat > "$demo_home/config/Quorvane/Quorvane.conf" <<'CONF'
[Settings]
Server=127.0.0.1
DB=CRONUS
User=navuser
CONF

standin_pid=""
program_pid=""
cleanup() {
    set +e
    if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null; fi
    if [ -n "$standin_pid" ]; then
        kill "$standin_pid" 2>/dev/null
        wait "$standin_pid" 2>/dev/null
    fi
    rm -rf "$demo_home"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$BUILD/bin/standin" --listen "127.0.0.1:$PORT" --fixture tools/standin/fixtures/demo.json \
    > "$demo_home/standin.out" 2>&1 &
standin_pid=$!

tries=0
until grep -q "listening on" "$demo_home/standin.out" 2>/dev/null; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "$standin_pid" 2>/dev/null; then
        echo "The stand-in did not start:" >&2
        cat "$demo_home/standin.out" >&2
        exit 1
    fi
    sleep 0.1
done

echo "Demo server 127.0.0.1 (port $PORT), database CRONUS, user navuser, password Demo#2006"
# In the background, so that an interrupt of the demo reaches the cleanup at once.
XDG_CONFIG_HOME="$demo_home/config" "$BUILD/bin/quorvane" &
program_pid=$!
wait "$program_pid"
