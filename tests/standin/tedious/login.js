// Logs in to the stand-in with Microsoft's TDS driver for JavaScript and reads the primary-key
// list. Usage: node login.js PORT ENCRYPT(on|off) TLS_MIN_VERSION DATABASE USER
// The password comes from the environment (STANDIN_PASSWORD), never from the command line.
'use strict';
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
        encrypt: encrypt === 'on',
        trustServerCertificate: true,
        // Old releases speak only old TLS versions, whose handshakes OpenSSL's default level refuses.
        cryptoCredentialsDetails: tlsMinVersion === 'TLSv1.2' ? {} : { minVersion: tlsMinVersion, ciphers: 'DEFAULT:@SECLEVEL=0' },
        connectTimeout: 15000,
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
        const tls = connection.messageIo.tlsNegotiationComplete ? 'tls' : 'clear';
        finish(null, `rows ${rows.length}, first ${rows[0]}, tds ${connection.config.options.tdsVersion}, `
            + `server ${connection.loginAckInfo?.serverVersion ?? '?'}, login over ${tls}`);
    });
    request.on('row', (columns) => rows.push(columns[0].value));
    connection.execSql(request);
});
connection.connect();
