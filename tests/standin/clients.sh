#!/bin/sh
# Clients this project did not write talk to the stand-in: FreeTDS's tsql, unixODBC's isql through
# the FreeTDS ODBC driver, and Python's pytds. Usage: clients.sh STANDIN DEMO_FIXTURE NAMES_FIXTURE
set -u
STANDIN=$1
DEMO=$2
NAMES=$3
WORK=$(mktemp -d)
PID=""
failures=0

cleanup() {
    [ -n "$PID" ] && kill "$PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $1"
    failures=$((failures + 1))
}

# Starts the stand-in on a free port with the given fixture; sets PID and PORT.
start() {
    "$STANDIN" --listen 127.0.0.1:0 --fixture "$1" --log "$WORK/log.jsonl" >"$WORK/out" 2>"$WORK/err" &
    PID=$!
    i=0
    PORT=""
    while [ $i -lt 100 ] && [ -z "$PORT" ]; do
        PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$WORK/out")
        [ -z "$PORT" ] && sleep 0.1
        i=$((i + 1))
    done
    [ -n "$PORT" ] || { cat "$WORK/err"; echo "FAIL: the stand-in did not start"; exit 1; }
}

# Stops the stand-in with SIGTERM and checks that it ends cleanly.
stop() {
    kill -TERM "$PID"
    wait "$PID"
    status=$?
    PID=""
    [ "$status" -eq 0 ] || fail "the stand-in ended with status $status on SIGTERM"
}

LIST="SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]"
CHECK='select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid order by a.name'

odbc() { # odbc DATABASE PASSWORD: runs standard input through isql
    isql -b -v -k "Driver=FreeTDS;Server=127.0.0.1;Port=$PORT;TDS_Version=7.4;Database=$1;UID=navuser;PWD=$2" 2>&1
}

start "$DEMO"

# tsql: the primary-key list, in collation order, under every TDS version.
for version in 7.1 7.2 7.4; do
    printf '%s\ngo\n' "$LIST" | TDSVER=$version timeout 20 tsql -H 127.0.0.1 -p "$PORT" -U navuser -P 'Demo#2006' -D CRONUS >"$WORK/tsql" 2>&1
    grep -q "^CRONUS International Ltd_\$Customer\$0	CRONUS International Ltd_\$Customer	CRONUS\$" "$WORK/tsql" \
        || fail "tsql $version did not print the Customer key"
    grep -q "(40 rows affected)" "$WORK/tsql" || fail "tsql $version did not get 40 rows"
    first=$(grep -m1 "^CRONUS\|^Jim" "$WORK/tsql" | cut -f1)
    [ "$first" = 'CRONUS International Ltd_$Contact$0' ] || fail "tsql $version: first row is '$first'"
done

# tsql: a wrong password is refused.
printf '%s\ngo\n' "$LIST" | TDSVER=7.4 timeout 20 tsql -H 127.0.0.1 -p "$PORT" -U navuser -P wrong -D CRONUS >"$WORK/tsql" 2>&1
grep -q "Login failed for user 'navuser'" "$WORK/tsql" || fail "tsql with a wrong password was not refused"

# isql through the FreeTDS ODBC driver: the primary-key list with its rows.
echo "$LIST" | odbc CRONUS 'Demo#2006' >"$WORK/isql"
grep -q "| Jim's Bikes\$Customer\$0 *| Jim's Bikes\$Customer *| CRONUS *|" "$WORK/isql" \
    || { cat "$WORK/isql"; fail "isql did not print the primary-key list"; }
grep -q "40 rows fetched" "$WORK/isql" || fail "isql did not fetch 40 rows"

# isql: the database check answers the Navision users.
echo "$CHECK" | odbc CRONUS 'Demo#2006' >"$WORK/isql"
grep -q "| navuser " "$WORK/isql" || { cat "$WORK/isql"; fail "isql did not print the check query's rows"; }

# isql: a wrong password gives "Login failed"; an unknown database 4060.
echo "$LIST" | odbc CRONUS wrong >"$WORK/isql"
grep -q "Login failed for user 'navuser'." "$WORK/isql" || { cat "$WORK/isql"; fail "isql with a wrong password"; }
echo "$LIST" | odbc NOWHERE 'Demo#2006' >"$WORK/isql"
grep -q 'Cannot open database "NOWHERE" requested by the login. The login failed.' "$WORK/isql" \
    || { cat "$WORK/isql"; fail "isql with an unknown database"; }

# pytds: the primary-key list, and the key columns of a name holding an apostrophe.
/usr/bin/python3 - "$PORT" >"$WORK/pytds" 2>&1 <<'PYTHON' || { cat "$WORK/pytds"; fail "pytds"; }
import sys
import pytds
with pytds.connect(server="127.0.0.1", port=int(sys.argv[1]), database="CRONUS", user="navuser",
                   password="Demo#2006", autocommit=True) as connection:
    cursor = connection.cursor()
    cursor.execute("SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]")
    assert len(cursor.fetchall()) == 40
    cursor.execute("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE isKCU.CONSTRAINT_NAME = 'Jim''s Bikes$Sales Line$0' AND isKCU.TABLE_NAME = 'Jim''s Bikes$Sales Line' ORDER BY isKCU.ORDINAL_POSITION")
    columns = [row[0] for row in cursor.fetchall()]
    assert columns == ["Document Type", "Document No_", "Line No_"], columns
PYTHON

# Every batch was logged, with its connection and database.
grep -q '"database":"CRONUS"' "$WORK/log.jsonl" || fail "the statement log is missing"
stop

# A database without Navision's per-user table: the check query fails with 208.
start "$NAMES"
printf '%s\ngo\n' "$CHECK" | TDSVER=7.4 timeout 20 tsql -H 127.0.0.1 -p "$PORT" -U navuser -P 'Demo#2006' -D PLAIN >"$WORK/tsql" 2>&1
grep -q "Msg 208" "$WORK/tsql" || { cat "$WORK/tsql"; fail "tsql: no error 208"; }
echo "$CHECK" | odbc PLAIN 'Demo#2006' >"$WORK/isql"
grep -q "Invalid object name 'dbo.\$ndo\$usrproperty'." "$WORK/isql" || { cat "$WORK/isql"; fail "isql: no error 208"; }
# Non-Latin names come back intact.
echo "$LIST" | odbc NAMES 'Demo#2006' >"$WORK/isql"
grep -q "Компания\$Клиент\$0" "$WORK/isql" || { cat "$WORK/isql"; fail "isql: Cyrillic names"; }
grep -q "Bracket\]Co\$Item\$0" "$WORK/isql" || { cat "$WORK/isql"; fail "isql: a name holding ]"; }
stop

if [ "$failures" -eq 0 ]; then
    echo "clients: all checks passed"
    exit 0
fi
echo "clients: $failures check(s) failed"
exit 1
