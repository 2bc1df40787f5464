#!/bin/sh
# Clients this project did not write talk to the stand-in: FreeTDS's tsql, Python's pytds, and
# Microsoft's tedious (Node) for every SQL Server release the stand-in plays, with and without
# encryption. (The FreeTDS ODBC driver meets it in the program's own end-to-end tests.)
# Usage: clients.sh STANDIN DEMO_FIXTURE TEDIOUS_FOLDER LOCKS_FIXTURE
set -u
STANDIN=$1
TEDIOUS=$3
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

# Starts the stand-in on a free port with the given fixture (and further arguments); sets PID and PORT.
start() {
    fixture=$1
    shift
    rm -f "$WORK/out"
    "$STANDIN" --listen 127.0.0.1:0 --fixture "$fixture" "$@" >"$WORK/out" 2>"$WORK/err" &
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

# tsql_expect PATTERN CHECK VERSION DATABASE PASSWORD SQL [USER]: runs the SQL with tsql, then expects
# PATTERN in its output; ENCRYPTION (off, request, require) from the environment.
tsql_expect() {
    printf '[global]\n\tencryption = %s\n' "${ENCRYPTION:-request}" >"$WORK/freetds.conf"
    printf '%s\ngo\n' "$6" | FREETDSCONF="$WORK/freetds.conf" TDSVER=$3 timeout 20 tsql -H 127.0.0.1 -p "$PORT" \
        -U "${7:-navuser}" -P "$5" -D "$4" >"$WORK/client" 2>&1
    expect "$1" "$2"
}

LIST="SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]"
CHECK='select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid order by a.name'
PASSWORD='Demo#2006'

start "$2"
tsql_expect "Login failed for user 'navuser'." "tsql: a wrong password" 7.4 CRONUS wrong "$LIST"

# The demo's domain login: tsql authenticates with NTLMv2 when the user name holds a backslash.
tsql_expect "^CRONUS\\\\jim	0105" "tsql: a domain login and its user in the check query" 7.4 CRONUS 'Jim#2006' "$CHECK" 'CRONUS\jim'

# pytds: the key columns of a name holding an apostrophe, in key order.
/usr/bin/python3 - "$PORT" "$PASSWORD" >"$WORK/client" 2>&1 <<'PYTHON' || { cat "$WORK/client"; fail "pytds"; }
import sys, pytds
with pytds.connect(server="127.0.0.1", port=int(sys.argv[1]), database="CRONUS", user="navuser",
                   password=sys.argv[2], autocommit=True) as connection:
    cursor = connection.cursor()
    cursor.execute("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE isKCU.CONSTRAINT_NAME = 'Jim''s Bikes$Sales Line$0' AND isKCU.TABLE_NAME = 'Jim''s Bikes$Sales Line' ORDER BY isKCU.ORDINAL_POSITION")
    columns = [row[0] for row in cursor.fetchall()]
    assert columns == ["Document Type", "Document No_", "Line No_"], columns
PYTHON
stop

# Every release with tsql (FreeTDS over GnuTLS) not wanting encryption, and tedious (Node over
# OpenSSL) not wanting, asking for and requiring it. tedious encrypts nothing when it is off (it has
# no login-only encryption), and speaks TDS 8.0 (TLS first, 1.3 where offered) only when told "strict".
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
    -subj /CN=localhost -addext subjectAltName=IP:127.0.0.1 >/dev/null 2>&1 || fail "openssl: a certificate"

# One release a line: the oldest TLS version it speaks, the TDS version tedious must ask for (a
# SQL Server 2000 answers a TDS 7.4 login in 7.1, which tedious reads only when it asked for 7.1),
# and what tedious reports with encrypt off, on and strict. tedious goes on without encryption when
# the server offers none, even when told "on".
while IFS='|' read -r release oldest tds off on strict <&3; do
    start "$2" --profile "$release" --cert "$WORK/cert.pem" --key "$WORK/key.pem"
    ENCRYPTION=off tsql_expect "(40 rows affected)" "tsql $release, encryption off: 40 rows" 7.4 CRONUS "$PASSWORD" "$LIST"
    for encrypt in off on strict; do
        STANDIN_PASSWORD="$PASSWORD" STANDIN_CA="$WORK/cert.pem" TDS_VERSION=$tds NODE_NO_WARNINGS=1 timeout 30 \
            node "$TEDIOUS/login.js" "$PORT" $encrypt "$oldest" CRONUS navuser >"$WORK/client" 2>&1
        case $encrypt in off) want=$off ;; on) want=$on ;; *) want=$strict ;; esac
        expect "$want" "tedious $release encrypt=$encrypt"
    done
    stop
done 3<<'RELEASES'
2000|TLSv1.2|7_1|rows 40, .*, tls none|rows 40, tds 7_1, tls none|^error:
2005|TLSv1||rows 40, .*, tls none|rows 40, tds 7_2, tls TLSv1$|^error:
2008r2|TLSv1||rows 40, .*, tls none|rows 40, tds 7_3_B, tls TLSv1.2|^error:
2016|TLSv1.2||rows 40, .*, tls none|rows 40, tds 7_4, tls TLSv1.2|^error:
2022|TLSv1.2||error: Server requires encryption|rows 40, tds 7_4, tls TLSv1.2|rows 40, .*, tls TLSv1.3
RELEASES

# Locks: another user's session holds L$Held from the start until SIGUSR1; two connections that
# wait for each other's table end in a deadlock, whose victim gets 1205.
HOLDERS="SELECT DISTINCT s.session_id, s.host_name, s.login_name, s.program_name FROM sys.dm_tran_locks l JOIN sys.dm_exec_sessions s ON s.session_id = l.request_session_id WHERE l.resource_type = 'OBJECT' AND l.resource_database_id = DB_ID() AND l.resource_associated_entity_id = OBJECT_ID(N'dbo.[L\$Held]') AND l.request_status = 'GRANT' AND l.request_session_id <> @@SPID ORDER BY s.session_id"
HOLDERS2000="SELECT DISTINCT p.spid, p.hostname, p.loginame, p.program_name FROM master..syslockinfo l JOIN master..sysprocesses p ON p.spid = l.req_spid WHERE l.rsc_type = 5 AND l.rsc_dbid = DB_ID() AND l.rsc_objid = OBJECT_ID(N'dbo.[L\$Held]') AND l.req_status = 1 AND l.req_spid <> @@SPID ORDER BY p.spid"
drop() { printf 'ALTER TABLE dbo.[L$%s] DROP CONSTRAINT [L$%s$0]' "$1" "$1"; }
start "$4" --profile 2000
tsql_expect "Invalid object name 'sys.dm_tran_locks'." "locks: no sys.dm_tran_locks on 2000" 7.1 LOCKS "$PASSWORD" "$HOLDERS"
tsql_expect "^57	NAVCLIENT12 \{117\}	CRONUS\\\\anna  *	Microsoft Business Solutions-Navision  *\$" "locks: sysprocesses" 7.1 LOCKS "$PASSWORD" "$HOLDERS2000"
stop
start "$4"
tsql_expect "^57	NAVCLIENT12	CRONUS\\\\anna	Microsoft Business Solutions-Navision\$" "locks: the holder" 7.4 LOCKS "$PASSWORD" "$HOLDERS"
tsql_expect "VIEW SERVER STATE permission was denied" "locks: no VIEW SERVER STATE" 7.4 LOCKS "$PASSWORD" "$HOLDERS" viewer
began=$(date +%s)
tsql_expect "Lock request time out period exceeded." "locks: 1222" 7.4 LOCKS "$PASSWORD" "SET LOCK_TIMEOUT 1000 $(drop Held)"
[ $(($(date +%s) - began)) -lt 10 ] || fail "locks: 1222 within a generous bound"
printf '%s\ngo\n%s\ngo\n' "$(drop Held)" "$(drop Held)" | TDSVER=7.4 timeout 20 tsql -H 127.0.0.1 -p "$PORT" -U navuser \
    -P "$PASSWORD" -D LOCKS >"$WORK/client" 2>&1 &
sleep 1
kill -USR1 "$PID"
wait $!
expect "'L\$Held\$0' is not a constraint." "locks: the DROP goes on after SIGUSR1"
# deadlock_side FIRST SECOND AFTER: after AFTER seconds, a transaction takes FIRST, then SECOND.
deadlock_side() {
    (sleep "$3"; printf 'BEGIN TRANSACTION %s\ngo\n' "$(drop "$1")"; sleep 2; printf '%s\ngo\n' "$(drop "$2")"; sleep 1) |
        TDSVER=7.4 timeout 20 tsql -H 127.0.0.1 -p "$PORT" -U navuser -P "$PASSWORD" -D LOCKS >"$WORK/deadlock$3" 2>&1
}
deadlock_side One Two 0 &
first=$!
deadlock_side Two One 1
wait "$first"
cat "$WORK/deadlock0" "$WORK/deadlock1" >"$WORK/client"
expect "Msg 1205 (severity 13, state 51)" "locks: a deadlock's victim"
stop

[ "$failures" -eq 0 ] || { echo "clients: $failures check(s) failed"; exit 1; }
echo "clients: all checks passed"
