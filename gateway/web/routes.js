"use strict";
// The HTTP side: the page's files, the REST interface (/api, described in openapi.json), the
// live streams and /metrics. Every answer of the API is JSON; an error is {"error", "code"},
// the code being the door's result number when the door gave one.
const fs = require("node:fs");
const path = require("node:path");
const { DoorError } = require("../common/door-client");
const { RESULT, qualityText } = require("../common/door-words");

const PUBLIC = path.join(__dirname, "public");
const FILES = {
    "/": ["index.html", "text/html; charset=utf-8"],
    "/app.js": ["app.js", "text/javascript; charset=utf-8"],
    "/style.css": ["style.css", "text/css; charset=utf-8"],
    "/api/openapi.json": ["../openapi.json", "application/json; charset=utf-8"],
};
const SECURITY_HEADERS = {
    "Content-Security-Policy": "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'",
    "X-Content-Type-Options": "nosniff",
    "X-Frame-Options": "DENY",
    "Referrer-Policy": "no-referrer",
    "Cache-Control": "no-store",
};
const MAX_BODY = 1024 * 1024; // the door takes no longer line
const DEVICE_READS_AT_ONCE = 4; // of the door's 16 requests apart per connection: room for writes
// The HTTP status for a door result code.
function statusOf(code) {
    switch (code) {
        case RESULT.OPC_E_UNKNOWNITEMID: return 404;
        case RESULT.OPC_E_BADRIGHTS: return 403;
        case RESULT.OPC_E_BADTYPE: case RESULT.OPC_E_RANGE: case RESULT.E_INVALIDARG: return 400;
        case RESULT.E_TIMEOUT: return 504;
        default: return 502; // the PLC refused or failed
    }
}

class HttpError extends Error {
    constructor(status, message, code) {
        super(message);
        this.status = status;
        this.code = code;
    }
}

class Routes {
    constructor({ view, door, access, streams, metrics, allowWrites, scheme, log }) {
        Object.assign(this, { view, door, access, streams, metrics, allowWrites, scheme, log });
        this.deviceReads = 0;
        this.files = new Map(Object.entries(FILES).map(([route, [file, type]]) => [route, { body: fs.readFileSync(path.join(PUBLIC, file)), type }]));
    }

    // Catalog rows: what the tree says of each item, with its latest value.
    describe(items, values = new Map()) {
        return items.map((it) => {
            const v = values.get(it.item) || this.view.liveValue(it.item);
            return {
                item: it.item, name: it.name, datatype: it.datatype, access: it.access, elements: it.elements,
                description: it.description,
                value: v ? v.value : null,
                quality: v ? v.quality : null,
                qualityText: v ? qualityText(v.quality) : null,
                timestamp: v ? v.ts : null,
            };
        });
    }

    async handle(req, res) {
        for (const [k, v] of Object.entries(SECURITY_HEADERS)) res.setHeader(k, v);
        try {
            const refused = this.access.refuseHost(req);
            if (refused) throw new HttpError(refused.status, refused.error);
            const url = new URL(req.url, "http://x");
            const route = url.pathname;
            // Another site's page may link to us, but not use what we serve.
            const site = req.headers["sec-fetch-site"];
            if ((site === "cross-site" || site === "same-site") && route !== "/")
                throw new HttpError(403, "a request from another site's page is refused");
            if (route === "/metrics" && (this.access.loopback || !this.access.users)) return await this._metrics(res);
            let who;
            try {
                who = await this.access.identify(req);
            } catch {
                throw new HttpError(503, "too many log-ins at once; try again");
            }
            if (!who) {
                res.setHeader("WWW-Authenticate", 'Basic realm="Vorlask", charset="UTF-8"');
                throw new HttpError(401, "a user name and password are needed");
            }
            if (route === "/metrics") return await this._metrics(res);
            if (req.method === "PUT" && route.startsWith("/api/items/")) return await this._write(req, res, who, itemOf(req.url));
            if (req.method !== "GET" && req.method !== "HEAD") throw new HttpError(405, `${req.method} is not served here`);
            const file = this.files.get(route);
            if (file) {
                res.writeHead(200, { "Content-Type": file.type, "Content-Length": file.body.length });
                return res.end(req.method === "HEAD" ? undefined : file.body);
            }
            if (route === "/api/session")
                return json(res, 200, { user: who.name, writer: who.writer, writesAllowed: this.allowWrites, canWrite: this.allowWrites && who.writer });
            if (!this.view.up) throw new HttpError(503, "the server's door is not open");
            if (route === "/api/plcs") {
                const f = await this.view.refreshFigures();
                return json(res, 200, { plcs: f.plcs, lines: f.lines });
            }
            if (route === "/api/messages") return json(res, 200, await this.door.request("messages").then(({ messages, written }) => ({ messages, written })));
            if (route === "/api/branches") return json(res, 200, { branches: this.view.branches });
            if (route === "/api/items") return await this._items(res, url.searchParams.get("under") || "");
            if (route.startsWith("/api/items/")) return await this._item(res, itemOf(req.url), url.searchParams.get("device") === "1");
            if (route === "/api/events") {
                const branch = url.searchParams.get("under") || "";
                this._under(branch);
                const refused = this.streams.refuse(req.socket.remoteAddress);
                if (refused) throw new HttpError(503, refused);
                return this.streams.open(req, res, branch);
            }
            throw new HttpError(404, `nothing at ${route}`);
        } catch (e) {
            if (res.headersSent) return res.destroy();
            if (e instanceof HttpError) return json(res, e.status, { error: e.message, ...(e.code !== undefined ? { code: e.code } : {}) });
            if (e instanceof DoorError) return json(res, e.code ? statusOf(e.code) : 503, { error: e.message, ...(e.code ? { code: e.code } : {}) });
            this.log(`${req.method} ${req.url}: ${e.stack || e}`);
            return json(res, 500, { error: "internal error" });
        }
    }

    _under(branch) {
        const items = this.view.itemsUnder(branch);
        if (!items) throw new HttpError(404, `no branch "${branch}"`);
        return items;
    }

    async _items(res, branch) {
        const items = this._under(branch);
        return json(res, 200, { items: this.describe(items, await this._read(items.map((it) => it.item), false)) });
    }

    async _item(res, id, device) {
        const it = this.view.items.get(id);
        if (!it) throw new HttpError(404, `no item "${id}"`, RESULT.OPC_E_UNKNOWNITEMID);
        if (device && this.deviceReads >= DEVICE_READS_AT_ONCE) throw new HttpError(429, "too many PLC reads at once; try again");
        this.deviceReads += device ? 1 : 0;
        let v;
        try {
            v = (await this._read([id], device)).get(id);
        } finally {
            this.deviceReads -= device ? 1 : 0;
        }
        if (v && v.error) throw new HttpError(v.code ? statusOf(v.code) : 502, v.error, v.code);
        return json(res, 200, this.describe([it], new Map([[id, v]]))[0]);
    }

    // Values of the items from the server's cache, or from the PLC (device); by item ID.
    async _read(ids, device) {
        const values = new Map();
        for (let i = 0; i < ids.length; i += 2000) {
            const reply = await this.door.request("read", { items: ids.slice(i, i + 2000), source: device ? "device" : "cache" });
            for (const v of reply.values)
                values.set(v.item, v.error ? v : { value: v.value, quality: v.quality, ts: v.timestamp });
        }
        return values;
    }

    async _write(req, res, who, id) {
        const refused = this.access.refuseWriteFrom(req, this.scheme);
        if (refused) throw new HttpError(403, refused);
        if (!this.allowWrites) throw new HttpError(403, "writes are off (vorlask-web --allow-writes)");
        if (!who.writer) throw new HttpError(403, `${who.name || "an anonymous user"} may not write`);
        const value = writtenValue(await readBody(req));
        if (!this.view.up) throw new HttpError(503, "the server's door is not open");
        if (!this.view.items.has(id)) throw new HttpError(404, `no item "${id}"`, RESULT.OPC_E_UNKNOWNITEMID);
        let r;
        try {
            r = (await this.door.request("write", { items: [{ item: id, value }] })).results[0];
        } catch (e) {
            // Sent, and its answer lost: the PLC may still carry it out.
            if (!(e instanceof DoorError) || !e.sent) throw e;
            r = { ok: false, unknown: true, error: `${e.message}; the write may still be carried out` };
        }
        this.log(`${who.name || "anonymous"} wrote ${JSON.stringify(value).slice(0, 200)} to ${id}: ${r.ok ? "done" : r.error}`);
        if (r.ok) return json(res, 200, { item: id, ok: true });
        const status = r.unknown ? 504 : statusOf(r.code);
        return json(res, status, { item: id, ok: false, error: r.error, ...(r.code ? { code: r.code } : {}), ...(r.unknown ? { unknown: true } : {}), ...(r.plcResult ? { plcResult: r.plcResult } : {}) });
    }

    async _metrics(res) {
        let figures = null;
        if (this.view.up) figures = await this.view.refreshFigures().catch(() => null);
        const text = await this.metrics.text(figures);
        res.writeHead(200, { "Content-Type": this.metrics.contentType });
        res.end(text);
    }
}

// The item ID of /api/items/ID (percent-encoded), from the path as sent: dot segments are
// part of the ID, never folded.
function itemOf(rawUrl) {
    const raw = rawUrl.split("?")[0];
    try {
        return decodeURIComponent(raw.slice(raw.indexOf("/api/items/") + "/api/items/".length));
    } catch {
        throw new HttpError(400, "the item ID is not well encoded");
    }
}

// The value of a write's body {"value": V}: a finite number, a boolean, a string, or an array
// of those; anything else (null, a number too large for JSON's doubles, an object) is refused
// before it could reach the PLC as something else.
function writtenValue(body) {
    let parsed;
    try {
        parsed = JSON.parse(body);
    } catch {
        parsed = undefined;
    }
    const plain = (v) => (typeof v === "number" ? Number.isFinite(v) : typeof v === "string" || typeof v === "boolean");
    if (!parsed || typeof parsed !== "object" || Array.isArray(parsed) || !Object.hasOwn(parsed, "value"))
        throw new HttpError(400, 'the body is {"value": V}', RESULT.E_INVALIDARG);
    const v = parsed.value;
    if (!(plain(v) || (Array.isArray(v) && v.every(plain))))
        throw new HttpError(400, "the value is a finite number, true or false, a string, or an array of those", RESULT.E_INVALIDARG);
    return v;
}

function json(res, status, body) {
    const text = JSON.stringify(body);
    res.writeHead(status, { "Content-Type": "application/json; charset=utf-8", "Content-Length": Buffer.byteLength(text) });
    res.end(text);
}

function readBody(req) {
    return new Promise((resolve, reject) => {
        const chunks = [];
        let size = 0;
        req.on("data", (c) => {
            size += c.length;
            if (size > MAX_BODY) {
                reject(new HttpError(413, `a body is at most ${MAX_BODY} bytes`));
                req.destroy();
            } else chunks.push(c);
        });
        req.on("end", () => resolve(Buffer.concat(chunks).toString("utf8")));
        req.on("error", reject);
    });
}

module.exports = { Routes };
