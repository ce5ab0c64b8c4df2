"use strict";
// The command line of vorlask-opcua.
const os = require("node:os");
const path = require("node:path");
const { doorSocketPath } = require("../common/door-client");
const { isLoopback } = require("../common/program");

const USAGE = `usage: vorlask-opcua [--socket PATH] [--host ADDR] [--port N] [--pki DIR] [--users FILE]
                    [--security MODES] [--max-sessions N] [--max-subscriptions N]
                    [--max-monitored-items N] [--help] [--version]
       vorlask-opcua --hash-password < password

The OPC UA server of Vorlask: it shows the items of the running server (reached through its
local door) as an OPC UA address space, reads, writes and subscribes to them. The endpoint
URL is printed on the first line of standard output.

  --socket PATH     the server's door (default: $VORLASK_SOCKET, else
                    $XDG_RUNTIME_DIR/vorlask.sock, else /tmp/vorlask-UID/vorlask.sock,
                    else the service's /run/vorlask/vorlask.sock when only it is there)
  --host ADDR       the address to listen on (default 127.0.0.1); the endpoint is
                    opc.tcp://ADDR:PORT
  --port N          the TCP port (default 4840)
  --pki DIR         certificates: the server's own, trusted/ and rejected/ clients
                    (default $XDG_DATA_HOME/vorlask/pki, else ~/.local/share/vorlask/pki)
  --users FILE      user names and password hashes, one "name:hash" line each, with
                    ":writer" added for users who may write; anonymous access is then off
  --security MODES  comma-separated: none, sign, signandencrypt (Basic256Sha256).
                    Default none on a loopback address. On any other address none is
                    refused, and sign or signandencrypt with --users is required.
                    With --users, none alone is refused: no endpoint could carry a password safely.
  --max-sessions N  sessions at once (default 50; also the connections)
  --max-subscriptions N
                    subscriptions per session (default 10; in all, 10 per session)
  --max-monitored-items N
                    monitored items in all and per subscription (default 30000)
  --hash-password   read a password from standard input, print its salted hash for --users
  --help, --version`;

const MODES = ["none", "sign", "signandencrypt"];

function defaultPki() {
    const data = process.env.XDG_DATA_HOME || path.join(os.homedir(), ".local", "share");
    return path.join(data, "vorlask", "pki");
}

// {options} or {error}; {help}, {version} and {hashPassword} ask for those.
function parseOptions(argv) {
    const o = {
        socket: null, host: "127.0.0.1", port: 4840, pki: null, users: null, security: null,
        maxSessions: 50, maxSubscriptions: 10, maxMonitoredItems: 30000,
    };
    const limits = { "--max-sessions": "maxSessions", "--max-subscriptions": "maxSubscriptions", "--max-monitored-items": "maxMonitoredItems" };
    for (let i = 0; i < argv.length; i++) {
        const a = argv[i];
        if (a === "--help" || a === "-h") return { help: true };
        if (a === "--version") return { version: true };
        if (a === "--hash-password") return { hashPassword: true };
        const takes = ["--socket", "--host", "--port", "--pki", "--users", "--security", ...Object.keys(limits)];
        if (!takes.includes(a)) return { error: `unknown option "${a}"` };
        if (i + 1 >= argv.length) return { error: `${a} needs a value` };
        const v = argv[++i];
        if (a === "--socket") o.socket = v;
        else if (a === "--host") o.host = v;
        else if (a === "--port") {
            if (!/^\d+$/.test(v) || +v < 1 || +v > 65535) return { error: `--port: "${v}" is no port number` };
            o.port = +v;
        } else if (limits[a]) {
            if (!/^\d+$/.test(v) || +v < 1 || +v > 1000000) return { error: `${a}: "${v}" is not a count from 1 to 1000000` };
            o[limits[a]] = +v;
        } else if (a === "--pki") o.pki = v;
        else if (a === "--users") o.users = v;
        else if (a === "--security") {
            const modes = v.toLowerCase().split(",").map((m) => m.trim()).filter(Boolean);
            const bad = modes.find((m) => !MODES.includes(m));
            if (bad || modes.length === 0) return { error: `--security: "${bad || v}" is not one of ${MODES.join(", ")}` };
            o.security = [...new Set(modes)];
        }
    }
    o.socket = doorSocketPath(o.socket);
    o.pki = o.pki || defaultPki();
    const loopback = isLoopback(o.host);
    o.security = o.security || ["none"];
    if (o.users && o.security.every((m) => m === "none"))
        return { error: "refusing --users with --security none only: give sign or signandencrypt, so that passwords travel encrypted" };
    if (!loopback) {
        if (o.security.includes("none"))
            return { error: `refusing to listen on ${o.host} without security: give --security sign or signandencrypt and --users FILE` };
        if (!o.users) return { error: `refusing to listen on ${o.host} without user names: give --users FILE` };
    }
    return { options: o };
}

module.exports = { parseOptions, USAGE };
