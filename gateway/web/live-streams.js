"use strict";
// The pages' live streams (server-sent events, /api/events?under=BRANCH). Each stream watches
// the items under its branch and gets:
//   "catalog"  once: the branch's items with their current values;
//   "items"    the changes since the last, [[id, value, quality, ts], ...], at most one event
//              each FLUSH_MS whatever the number of changes (the latest value of an item wins);
//   "plcs"     the PLCs' and lines' figures, each second;
//   "messages" the message lines, newest first, when one was added;
//   "door"     {up}: the server's door opened or closed.
// A page that reads slowly is never written faster than it reads: its changes wait, merged,
// and of its other events the latest of each kind, until its socket drains.
const FLUSH_MS = 250;
const HEARTBEAT_MS = 15000;
const MAX_STREAMS = 64;
const STREAMS_PER_ADDRESS = 8;
const MAX_BUFFERED = 8 * 1024 * 1024; // a page that has left this much unread is closed

class LiveStreams {
    constructor(view, { describe }) {
        this.view = view;
        this.describe = describe; // (items) -> the catalog rows with values
        this.streams = new Set();
        view.on("changes", (changes) => this._changes(changes));
        view.on("figures", (f) => this._all("plcs", f));
        view.on("messages", (m) => this._all("messages", m));
        // The server may come back with another configuration: each stream's items anew.
        view.on("up", () => {
            this._all("door", { up: true });
            for (const s of this.streams) {
                this.view.unwatch(s.ids);
                s.ids = this._idsUnder(s.branch);
                this.view.watch(s.ids);
                this._catalog(s);
            }
        });
        view.on("down", () => this._all("door", { up: false }));
        this.flushTimer = setInterval(() => this._flush(), FLUSH_MS);
        this.flushTimer.unref();
        this.heartbeat = setInterval(() => {
            for (const s of this.streams) if (s.writable) this._write(s, ": still here\n\n");
        }, HEARTBEAT_MS);
        this.heartbeat.unref();
    }

    // Why another stream for this address is refused, or null.
    refuse(address) {
        if (this.streams.size >= MAX_STREAMS) return "too many pages are open; close one";
        let mine = 0;
        for (const s of this.streams) if (s.address === address) mine++;
        return mine >= STREAMS_PER_ADDRESS ? `at most ${STREAMS_PER_ADDRESS} pages from one address` : null;
    }

    _idsUnder(branch) {
        return new Set((this.view.itemsUnder(branch) || []).map((it) => it.item));
    }

    // Serves one stream on res for the items under the branch.
    open(req, res, branch) {
        res.writeHead(200, {
            "Content-Type": "text/event-stream; charset=utf-8",
            "Cache-Control": "no-store",
            "X-Accel-Buffering": "no",
        });
        const s = { res, branch, address: req.socket.remoteAddress, ids: this._idsUnder(branch), pending: new Map(), later: new Map(), writable: true };
        this.streams.add(s);
        this.view.pageOpened();
        this.view.watch(s.ids);
        res.on("drain", () => (s.writable = true));
        const close = () => {
            if (!this.streams.delete(s)) return;
            this.view.unwatch(s.ids);
            this.view.pageClosed();
        };
        req.on("close", close);
        res.on("error", close);
        this._send(s, "door", { up: this.view.up });
        this._catalog(s);
        if (this.view.figures) this._send(s, "plcs", this.view.figures);
        this._send(s, "messages", this.view.messages);
        this.view.refreshFigures().then((f) => this._send(s, "plcs", f), () => {});
    }

    _catalog(s) {
        if (!this.view.up) return;
        const items = [...s.ids].map((id) => this.view.items.get(id)).filter(Boolean);
        s.pending.clear();
        this._send(s, "catalog", this.describe(items));
    }

    _changes(changes) {
        for (const s of this.streams)
            for (const c of changes) if (s.ids.has(c.id)) s.pending.set(c.id, c);
    }

    _flush() {
        for (const s of this.streams) {
            if (!s.writable) continue;
            const later = [...s.later];
            s.later.clear();
            for (const [event, data] of later) this._send(s, event, data);
            if (s.pending.size === 0) continue;
            const rows = [...s.pending.values()].map((c) => [c.id, c.value, c.quality, c.ts]);
            s.pending.clear();
            this._send(s, "items", rows);
        }
    }

    _all(event, data) {
        for (const s of this.streams) this._send(s, event, data);
    }

    _send(s, event, data) {
        if (!s.writable && event !== "items") s.later.set(event, data);
        else this._write(s, `event: ${event}\ndata: ${JSON.stringify(data)}\n\n`);
    }

    _write(s, text) {
        if (s.res.writableEnded || s.res.destroyed) return;
        if (s.res.writableLength + text.length > MAX_BUFFERED) {
            s.res.destroy();
            return;
        }
        if (!s.res.write(text)) s.writable = false;
    }
}

module.exports = { LiveStreams };
