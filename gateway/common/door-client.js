"use strict";
// A client of the server's local door (docs/door.md): newline-delimited JSON over a Unix
// socket. Requests carry an id and are answered by id (device reads and writes may be answered
// out of order); events ("dataChange", "shutdown") are emitted as they come. When the door
// goes away (or asks its clients to leave) every pending request fails, "down" is emitted, and
// the client connects again with back-off; "up" is emitted each time a connection is made.
const fs = require("node:fs");
const net = require("node:net");
const path = require("node:path");
const { EventEmitter } = require("node:events");

const SERVICE_SOCKET = "/run/vorlask/vorlask.sock";

// The door's socket path: --socket, else $VORLASK_SOCKET, else $XDG_RUNTIME_DIR/vorlask.sock,
// else /tmp/vorlask-<uid>/vorlask.sock (the rule the server and vorlask-cli follow); when the
// last two are not there but the installed service's door is, that one.
function doorSocketPath(explicit) {
    if (explicit) return explicit;
    if (process.env.VORLASK_SOCKET) return process.env.VORLASK_SOCKET;
    const own = process.env.XDG_RUNTIME_DIR
        ? path.join(process.env.XDG_RUNTIME_DIR, "vorlask.sock")
        : path.join("/tmp", `vorlask-${process.getuid()}`, "vorlask.sock");
    if (!fs.existsSync(own) && fs.existsSync(SERVICE_SOCKET)) return SERVICE_SOCKET;
    return own;
}

class DoorError extends Error {
    constructor(reply) {
        super(reply.error || "refused");
        this.code = reply.code;
        this.reply = reply;
    }
}

class DoorClient extends EventEmitter {
    constructor(socketPath, { minBackoffMs = 250, maxBackoffMs = 5000 } = {}) {
        super();
        this.socketPath = socketPath;
        this.minBackoffMs = minBackoffMs;
        this.maxBackoffMs = maxBackoffMs;
        this.backoffMs = minBackoffMs;
        this.socket = null;
        this.connected = false;
        this.stopped = false;
        this.nextId = 1;
        this.pending = new Map();
        this.buffer = "";
        this.retryTimer = null;
    }

    start() {
        this.stopped = false;
        this._connect();
    }

    stop() {
        this.stopped = true;
        clearTimeout(this.retryTimer);
        if (this.socket) this.socket.destroy();
    }

    _connect() {
        if (this.stopped) return;
        const socket = net.createConnection(this.socketPath);
        this.socket = socket;
        socket.setEncoding("utf8");
        socket.on("connect", () => {
            this.connected = true;
            this.backoffMs = this.minBackoffMs;
            this.emit("up");
        });
        socket.on("data", (chunk) => this._take(chunk));
        socket.on("error", () => {}); // "close" follows
        socket.on("close", () => {
            const wasConnected = this.connected;
            this.connected = false;
            this.socket = null;
            this.buffer = "";
            const pending = [...this.pending.values()];
            this.pending.clear();
            for (const p of pending) p.reject(new DoorError({ error: "the door closed" }));
            if (this.stopped) return;
            if (wasConnected) this.emit("down");
            this.retryTimer = setTimeout(() => this._connect(), this.backoffMs);
            this.backoffMs = Math.min(this.backoffMs * 2, this.maxBackoffMs);
        });
    }

    _take(chunk) {
        this.buffer += chunk;
        let start = 0;
        let nl;
        while ((nl = this.buffer.indexOf("\n", start)) >= 0) {
            const line = this.buffer.slice(start, nl);
            start = nl + 1;
            if (!line.trim()) continue;
            let msg;
            try {
                msg = JSON.parse(line);
            } catch {
                continue;
            }
            if (msg.event) {
                this.emit(msg.event, msg);
                // The server is closing and waits for its clients: leave at once (and come
                // back when it is there again).
                if (msg.event === "shutdown" && this.socket) this.socket.end();
                continue;
            }
            const p = this.pending.get(msg.id);
            if (!p) continue;
            this.pending.delete(msg.id);
            if (msg.ok) p.resolve(msg);
            else p.reject(new DoorError(msg));
        }
        this.buffer = this.buffer.slice(start);
    }

    // Resolves with the reply of {op, ...fields}; rejects with a DoorError carrying the reply's
    // error text and code, or when the door is not there.
    request(op, fields = {}) {
        if (!this.connected || !this.socket) return Promise.reject(new DoorError({ error: "the door is not open" }));
        const id = this.nextId++;
        return new Promise((resolve, reject) => {
            this.pending.set(id, { resolve, reject });
            this.socket.write(JSON.stringify({ id, op, ...fields }) + "\n");
        });
    }
}

module.exports = { DoorClient, DoorError, doorSocketPath };
