"use strict";
// The command line of vorlask-web.
const { doorSocketPath } = require("../common/door-client");
const { isLoopback } = require("../common/program");
const { defaultBufferDir } = require("../common/buffer-figures");

const USAGE = `usage: vorlask-web [--socket PATH] [--host ADDR] [--port N] [--users FILE]
                  [--tls-cert FILE --tls-key FILE] [--allow-writes] [--rate MS]
                  [--mqtt-buffer-dir DIR] [--help] [--version]
       vorlask-web --hash-password < password

The web interface of Vorlask: a status page (the lines and their PLCs, the message lines, a
tag browser with live values), a REST interface (/api, described at /api/openapi.json) and
Prometheus metrics (/metrics), for the running server reached through its local door. The
address is printed on the first line of standard output.

  --socket PATH     the server's door (default: $VORLASK_SOCKET, else
                    $XDG_RUNTIME_DIR/vorlask.sock, else /tmp/vorlask-UID/vorlask.sock,
                    else the service's /run/vorlask/vorlask.sock when only it is there)
  --host ADDR       the address to listen on (default 127.0.0.1). Any address but a
                    loopback one needs --tls-cert, --tls-key and --users
  --port N          the TCP port (default 8080; 0: a free one, as printed)
  --users FILE      user names and password hashes, one "name:hash" line each, with
                    ":writer" added for users who may write (the file of vorlask-opcua);
                    every page and route then asks for a user (HTTP Basic), /metrics
                    too unless the address is a loopback one
  --tls-cert FILE   the server's certificate (PEM): serve HTTPS
  --tls-key FILE    its private key (PEM)
  --allow-writes    let writer users write items, from the page (after a confirmation)
                    and with PUT /api/items/ID; without it every write is refused (403)
  --rate MS         the update rate of the items a page shows (default 1000)
  --mqtt-buffer-dir DIR  the MQTT publishers' --buffer-dir, whose figures /metrics shows
                    (default: the publishers' default)
  --hash-password   read a password from standard input, print its salted hash for --users
  --help, --version`;

// {options} or {error}; {help}, {version} and {hashPassword} ask for those.
function parseOptions(argv) {
    const o = {
        socket: null, host: "127.0.0.1", port: 8080, users: null, tlsCert: null, tlsKey: null,
        allowWrites: false, rate: 1000, mqttBufferDir: null,
    };
    const takes = { "--socket": "socket", "--host": "host", "--port": "port", "--users": "users",
        "--tls-cert": "tlsCert", "--tls-key": "tlsKey", "--rate": "rate", "--mqtt-buffer-dir": "mqttBufferDir" };
    for (let i = 0; i < argv.length; i++) {
        const a = argv[i];
        if (a === "--help" || a === "-h") return { help: true };
        if (a === "--version") return { version: true };
        if (a === "--hash-password") return { hashPassword: true };
        if (a === "--allow-writes") {
            o.allowWrites = true;
            continue;
        }
        if (!takes[a]) return { error: `unknown option "${a}"` };
        if (i + 1 >= argv.length || argv[i + 1] === "") return { error: `${a} needs a value` };
        o[takes[a]] = argv[++i];
    }
    if (typeof o.port === "string") {
        if (!/^\d+$/.test(o.port) || +o.port > 65535) return { error: `--port: "${o.port}" is no port number` };
        o.port = +o.port;
    }
    if (typeof o.rate === "string") {
        if (!/^\d+$/.test(o.rate) || +o.rate < 50 || +o.rate > 3600000) return { error: `--rate: "${o.rate}" is not a time from 50 to 3600000 ms` };
        o.rate = +o.rate;
    }
    if (!o.tlsCert !== !o.tlsKey) return { error: "--tls-cert and --tls-key go together" };
    o.socket = doorSocketPath(o.socket);
    o.mqttBufferDir = o.mqttBufferDir || defaultBufferDir(process.env);
    o.loopback = isLoopback(o.host);
    if (!o.loopback && !(o.tlsCert && o.users))
        return { refusal: true, error: `refusing to listen on ${o.host} without TLS and user names: give --tls-cert, --tls-key and --users` };
    if (o.allowWrites && !o.users)
        o.warning = "--allow-writes without --users: no one can write (writes need a writer user)";
    return { options: o };
}

module.exports = { parseOptions, USAGE };
