#!/bin/sh
# Clients this project did not write talk to the stand-in: FreeTDS's tsql, unixODBC's isql through
# the FreeTDS ODBC driver, and Python's pytds. Usage: clients.sh STANDIN DEMO_FIXTURE PLAIN_FIXTURE
set -u
STANDIN=$1
WORK=$(mktemp -d)
PID=""
failures=0
trap '[ -n "$PID" ] && kill "$PID" 2>/dev/null; rm -rf "$WORK"' EXIT

fail() {
    echo "FAIL: $1"
    failures=$((failures + 1))
}

# expect PATTERN CHECK: the last client's output holds PATTERN; otherwise it is shown and CHECK fails.
expect() {
    grep -q -- "$1" "$WORK/client" || { cat "$WORK/client"; fail "$2"; }
}

# Starts the stand-in on a free port with the given fixture; sets PID and PORT.
start() {
    "$STANDIN" --listen 127.0.0.1:0 --fixture "$1" >"$WORK/out" 2>"$WORK/err" &
    PID=$!
    for _ in $(seq 100); do
        PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$WORK/out")
        [ -n "$PORT" ] && return
        sleep 0.1
    done
    cat "$WORK/err"
    echo "FAIL: the stand-in did not start"
    exit 1
}

# Stops the stand-in with SIGTERM, which must end it cleanly.
stop() {
    kill -TERM "$PID"
    wait "$PID" || fail "the stand-in did not end cleanly on SIGTERM"
    PID=""
}

tsql_run() { # VERSION DATABASE PASSWORD SQL [USER]
    printf '%s\ngo\n' "$4" | TDSVER=$1 timeout 20 tsql -H 127.0.0.1 -p "$PORT" -U "${5:-navuser}" -P "$3" -D "$2" \
        >"$WORK/client" 2>&1
}

isql_run() { # DATABASE PASSWORD SQL
    echo "$3" | timeout 20 isql -b -v -k \
        "Driver=FreeTDS;Server=127.0.0.1;Port=$PORT;TDS_Version=7.4;Database=$1;UID=navuser;PWD=$2" >"$WORK/client" 2>&1
}

LIST="SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]"
CHECK='select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid order by a.name'
PASSWORD='Demo#2006'

start "$2"
for version in 7.1 7.2 7.4; do
    tsql_run $version CRONUS "$PASSWORD" "$LIST"
    expect "^CRONUS International Ltd_\$Customer\$0	CRONUS International Ltd_\$Customer	CRONUS\$" "tsql $version: the list"
    expect "(40 rows affected)" "tsql $version: 40 rows"
done
tsql_run 7.4 CRONUS wrong "$LIST"
expect "Login failed for user 'navuser'." "tsql: a wrong password"

# The demo's domain login: tsql authenticates with NTLMv2 when the user name holds a backslash.
tsql_run 7.4 CRONUS 'Jim#2006' "$CHECK" 'CRONUS\jim'
expect "^CRONUS\\\\jim	0105" "tsql: a domain login and its user in the check query"
tsql_run 7.4 CRONUS 'Jim#2007' "$CHECK" 'CRONUS\jim'
expect "Login failed for user 'CRONUS\\\\jim'." "tsql: a domain login's wrong password"

isql_run CRONUS "$PASSWORD" "$LIST"
expect "| Jim's Bikes\$Customer\$0 *| Jim's Bikes\$Customer *| CRONUS *|" "isql: the list"
expect "40 rows fetched" "isql: 40 rows"
isql_run CRONUS "$PASSWORD" "$CHECK"
expect "| navuser " "isql: the check query's rows"
isql_run CRONUS wrong "$LIST"
expect "Login failed for user 'navuser'." "isql: a wrong password"

# pytds: the list, and the key columns of a name holding an apostrophe in key order.
/usr/bin/python3 - "$PORT" "$PASSWORD" "$LIST" >"$WORK/client" 2>&1 <<'PYTHON' || { cat "$WORK/client"; fail "pytds"; }
import sys
import pytds
with pytds.connect(server="127.0.0.1", port=int(sys.argv[1]), database="CRONUS", user="navuser",
                   password=sys.argv[2], autocommit=True) as connection:
    cursor = connection.cursor()
    cursor.execute(sys.argv[3])
    assert len(cursor.fetchall()) == 40
    cursor.execute("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE isKCU.CONSTRAINT_NAME = 'Jim''s Bikes$Sales Line$0' AND isKCU.TABLE_NAME = 'Jim''s Bikes$Sales Line' ORDER BY isKCU.ORDINAL_POSITION")
    columns = [row[0] for row in cursor.fetchall()]
    assert columns == ["Document Type", "Document No_", "Line No_"], columns
PYTHON
stop

# A database without Navision's per-user table: the check query fails with 208.
start "$3"
tsql_run 7.4 PLAIN "$PASSWORD" "$CHECK"
expect "Msg 208" "tsql: error 208"
isql_run PLAIN "$PASSWORD" "$CHECK"
expect "Invalid object name 'dbo.\$ndo\$usrproperty'." "isql: error 208"
stop

[ "$failures" -eq 0 ] || { echo "clients: $failures check(s) failed"; exit 1; }
echo "clients: all checks passed"
