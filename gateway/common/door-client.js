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
const SERVICE_USER = "vorlask";
// A request the door has not answered in this time fails (a device read over many slow PLCs
// takes seconds, never this long).
const REQUEST_TIMEOUT_MS = 60000;

// The service user's uid, read once; -1 where there is no such user.
let serviceUid = null;
function serviceUserId() {
    if (serviceUid === null) {
        serviceUid = -1;
        try {
            for (const line of fs.readFileSync("/etc/passwd", "utf8").split("\n")) {
                const f = line.split(":");
                if (f[0] === SERVICE_USER && f.length > 2) serviceUid = Number(f[2]);
            }
        } catch {
            // no account database to read: only this user and root are trusted
        }
    }
    return serviceUid;
}

// Why the door's folder is not to be trusted, or null: it must be a real folder (not a
// symbolic link), owned by this user, root or the service's user, and not writable by others;
// another local user who made it first could put a door of their own there and receive our
// writes. The same rule as the server's and vorlask-cli's.
function untrustedDoorFolder(folder) {
    let st;
    try {
        st = fs.lstatSync(folder);
    } catch (e) {
        return `cannot check the door's folder ${folder}: ${e.code || e.message}`;
    }
    if (st.isSymbolicLink()) return `the door's folder ${folder} is a symbolic link`;
    if (!st.isDirectory()) return `the door's folder ${folder} is not a folder`;
    if (st.uid !== process.getuid() && st.uid !== 0 && st.uid !== serviceUserId())
        return `the door's folder ${folder} belongs to another user (uid ${st.uid})`;
    if (st.mode & 0o002) return `the door's folder ${folder} is writable by others`;
    return null;
}

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

// sent: the request went out and its answer was lost (the door closed or did not answer in
// time), so a write may still be carried out.
class DoorError extends Error {
    constructor(reply, { sent = false } = {}) {
        super(reply.error || "refused");
        this.code = reply.code;
        this.reply = reply;
        this.sent = sent;
    }
}

class DoorClient extends EventEmitter {
    constructor(socketPath, { minBackoffMs = 250, maxBackoffMs = 5000, requestTimeoutMs = REQUEST_TIMEOUT_MS } = {}) {
        super();
        this.socketPath = socketPath;
        this.requestTimeoutMs = requestTimeoutMs;
        this.refusedWhy = null;
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
        // Checked at every attempt: the folder may be made (or replaced) while we wait. Told
        // once per reason, as "refused".
        const why = untrustedDoorFolder(path.dirname(this.socketPath));
        if (why) {
            if (why !== this.refusedWhy) this.emit("refused", why);
            this.refusedWhy = why;
            this.retryTimer = setTimeout(() => this._connect(), this.backoffMs);
            this.backoffMs = Math.min(this.backoffMs * 2, this.maxBackoffMs);
            return;
        }
        this.refusedWhy = null;
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
            for (const p of pending) {
                clearTimeout(p.timer);
                p.reject(new DoorError({ error: "the door closed" }, { sent: true }));
            }
            if (this.stopped) return;
            if (wasConnected) this.emit("down");
            this.retryTimer = setTimeout(() => this._connect(), this.backoffMs);
            this.backoffMs = Math.min(this.backoffMs * 2, this.maxBackoffMs);
        });
    }

    _take(chunk) {
        // A line's end can only be in what came now: a long line (a group's data change) that
        // arrives in many chunks is not searched again from its start at each of them.
        let from = this.buffer.length;
        this.buffer += chunk;
        let start = 0;
        let nl;
        while ((nl = this.buffer.indexOf("\n", from)) >= 0) {
            const line = this.buffer.slice(start, nl);
            start = from = nl + 1;
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
            clearTimeout(p.timer);
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
        // Serialised before the request is registered: a value that cannot be sent leaves
        // nothing pending.
        let line;
        try {
            line = JSON.stringify({ id, op, ...fields }) + "\n";
        } catch (e) {
            return Promise.reject(new DoorError({ error: `cannot send the request: ${e.message}` }));
        }
        return new Promise((resolve, reject) => {
            const timer = setTimeout(() => {
                if (this.pending.delete(id)) reject(new DoorError({ error: "the door did not answer in time" }, { sent: true }));
            }, this.requestTimeoutMs);
            this.pending.set(id, { resolve, reject, timer });
            this.socket.write(line);
        });
    }
}

module.exports = { DoorClient, DoorError, doorSocketPath, untrustedDoorFolder };
