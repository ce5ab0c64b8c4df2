"use strict";
// vorlask-web: the status page, REST interface and Prometheus metrics of Vorlask, a client of
// the server's local door.
const fs = require("node:fs");
const { parseOptions, USAGE } = require("./options");
const { printPasswordHash, loadUsers } = require("../common/users");
const { makeLog, answerCommandLine, tellDoor, untilStopped, run } = require("../common/program");

const VERSION = process.env.VORLASK_VERSION || require("./package.json").version;
const log = makeLog("vorlask-web");

// What one client may hold of the server: a slow or idle client is cut off in seconds, and one
// address never takes more than a share of the connections.
const LIMITS = { headersTimeout: 10000, requestTimeout: 30000, connectionsCheckingInterval: 1000 };
const MAX_CONNECTIONS = 256;
const CONNECTIONS_PER_ADDRESS = 32;

// The HTTP or HTTPS server; throws with a sentence when the certificate cannot be used.
function makeServer(o, handler) {
    let server;
    if (!o.tlsCert) server = require("node:http").createServer(LIMITS, handler);
    else {
        try {
            const cert = fs.readFileSync(o.tlsCert);
            const key = fs.readFileSync(o.tlsKey);
            server = require("node:https").createServer({ ...LIMITS, cert, key, minVersion: "TLSv1.2", handshakeTimeout: 10000 }, handler);
        } catch (e) {
            throw new Error(`the TLS certificate or key cannot be used: ${e.code === "ENOENT" ? `${e.path}: no such file` : e.message}`);
        }
    }
    server.maxConnections = MAX_CONNECTIONS;
    const perAddress = new Map();
    server.on("connection", (socket) => {
        const address = socket.remoteAddress;
        const n = (perAddress.get(address) || 0) + 1;
        perAddress.set(address, n);
        socket.once("close", () => {
            const left = perAddress.get(address) - 1;
            if (left > 0) perAddress.set(address, left);
            else perAddress.delete(address);
        });
        if (n > CONNECTIONS_PER_ADDRESS) socket.destroy();
    });
    return server;
}

async function main() {
    const parsed = parseOptions(process.argv.slice(2));
    if (parsed.hashPassword) return printPasswordHash(log);
    const answered = answerCommandLine("vorlask-web", parsed, USAGE, VERSION, log);
    if (answered !== null) return answered;
    const o = parsed.options;
    if (o.warning) log(`warning: ${o.warning}`);
    const users = o.users ? loadUsers(o.users, log) : null;
    if (o.users && !users) return 2;

    const { DoorClient } = require("../common/door-client");
    const { DoorView } = require("./door-view");
    const { Access } = require("./access");
    const { LiveStreams } = require("./live-streams");
    const { Metrics } = require("./metrics");
    const { Routes } = require("./routes");

    const door = new DoorClient(o.socket);
    const view = new DoorView(door, { rate: o.rate, log });
    const access = new Access({ users, loopback: o.loopback, port: o.port });
    const scheme = o.tlsCert ? "https" : "http";
    let routes = null;
    const streams = new LiveStreams(view, { describe: (items) => routes.describe(items) });
    routes = new Routes({ view, door, access, streams, metrics: new Metrics(o.mqttBufferDir), allowWrites: o.allowWrites, scheme, log });
    let server;
    try {
        server = makeServer(o, (req, res) => routes.handle(req, res));
    } catch (e) {
        log(e.message);
        return 2;
    }
    view.on("up", () => log(`showing ${view.items.size} items in ${view.branches.length} branches`));

    tellDoor(door, o.socket, log);
    door.start();
    try {
        await new Promise((resolve, reject) => {
            server.once("error", reject);
            server.listen(o.port, o.host, resolve);
        });
    } catch (e) {
        log(`cannot listen on ${o.host}:${o.port}: ${e.message}`);
        door.stop();
        return 1;
    }
    const port = server.address().port;
    access.port = port;
    const host = o.host.includes(":") ? `[${o.host}]` : o.host;
    process.stdout.write(`${scheme}://${host}:${port}/\n`);
    log(`serving ${scheme}://${host}:${port}/${users ? `, ${users.size} users` : ""}${o.allowWrites ? ", writes allowed" : ""}`);

    await untilStopped();
    door.stop();
    server.closeAllConnections();
    server.close();
    return 0;
}

run(main, log);
