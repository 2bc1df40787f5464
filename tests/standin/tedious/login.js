// Logs in to the stand-in with Microsoft's TDS driver for JavaScript and reads the primary-key
// list. Usage: node login.js PORT ENCRYPT(on|off|strict) TLS_MIN_VERSION DATABASE USER
// The password comes from the environment (STANDIN_PASSWORD), never from the command line;
// STANDIN_CA names the certificate to trust for TDS 8.0 (which does not take an untrusted one),
// TDS_VERSION the version to ask for (a SQL Server 2000 needs 7_1 asked for).
'use strict';
const fs = require('fs');
const { Connection, Request } = require('tedious');

const [port, encrypt, tlsMinVersion, database, user] = process.argv.slice(2);
const LIST = "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS "
    + "WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]";

const connection = new Connection({
    server: '127.0.0.1',
    authentication: { type: 'default', options: { userName: user, password: process.env.STANDIN_PASSWORD } },
    options: {
        port: Number(port),
        database,
        encrypt: encrypt === 'strict' ? 'strict' : encrypt === 'on',
        trustServerCertificate: true,
        // Old releases speak only old TLS versions, whose handshakes OpenSSL's default level refuses.
        cryptoCredentialsDetails: {
            ...(tlsMinVersion === 'TLSv1.2' ? {} : { minVersion: tlsMinVersion, ciphers: 'DEFAULT:@SECLEVEL=0' }),
            ...(process.env.STANDIN_CA ? { ca: fs.readFileSync(process.env.STANDIN_CA) } : {}),
        },
        connectTimeout: 15000,
        ...(process.env.TDS_VERSION ? { tdsVersion: process.env.TDS_VERSION } : {}),
    },
});

const finish = (error, text) => {
    if (error)
        console.log(`error: ${error.message}`);
    else
        console.log(text);
    connection.close();
    process.exitCode = error ? 1 : 0;
};

connection.on('connect', (error) => {
    if (error)
        return finish(error);
    const rows = [];
    const request = new Request(LIST, (failure) => {
        if (failure)
            return finish(failure);
        // TLS negotiated in PRELOGIN runs in the message layer's secure pair; TDS 8.0's wraps the socket.
        const tlsSocket = connection.messageIo?.securePair?.cleartext
            ?? (typeof connection.socket?.getProtocol === 'function' ? connection.socket : undefined);
        finish(null, `rows ${rows.length}, tds ${connection.config.options.tdsVersion}, `
            + `tls ${tlsSocket?.getProtocol() ?? 'none'}`);
    });
    request.on('row', (columns) => rows.push(columns[0].value));
    connection.execSql(request);
});
connection.connect();
