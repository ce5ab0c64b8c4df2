"use strict";
// Who is asking, and whether a request may be served at all.
//
// - Without a users file every request is anonymous and reads; no one writes.
// - With one, a request carries HTTP Basic credentials. A password is checked with scrypt
//   (slow on purpose, and 128 MiB each): at most two checks run at once and a few wait, the
//   rest are refused, so that a flood of guesses cannot exhaust memory. A name and password
//   that passed are remembered for ten minutes by a keyed hash of the header (never the
//   password itself), so that a page's requests do not each cost a check.
// - On a loopback address the Host header must name a loopback host: a web page elsewhere
//   whose name an attacker points at 127.0.0.1 (DNS rebinding) is not served.
// - A write must come from our own page or a script: a request that a browser marks as
//   coming from another site is refused.
const crypto = require("node:crypto");
const { passwordMatchesAsync } = require("../common/users");
const { isLoopback } = require("../common/program");

const REMEMBER_MS = 10 * 60 * 1000;
const REMEMBERED_MAX = 1000;
const CHECKS_AT_ONCE = 2;
const CHECKS_WAITING = 16;

class Access {
    constructor({ users, loopback, port }) {
        this.users = users; // Map name -> {hash, writer}, or null
        this.loopback = loopback;
        this.port = port;
        this.key = crypto.randomBytes(32);
        this.remembered = new Map(); // keyed hash -> {name, writer, until}
        this.checking = 0;
        this.waiting = [];
    }

    // Why the request is not served, as {status, error}; null when it may go on.
    refuseHost(req) {
        if (!this.loopback) return null;
        const host = String(req.headers.host || "");
        const m = /^(\[[^\]]+\]|[^:]+)(?::(\d+))?$/.exec(host);
        if (!m || !isLoopback(m[1]) || (m[2] && Number(m[2]) !== this.port))
            return { status: 421, error: `this server answers to its loopback address only, not to "${host}"` };
        return null;
    }

    // Why a request that changes something is refused, or null: another site's page may not
    // send it (the browser tells by Origin or Sec-Fetch-Site), and its body is JSON.
    refuseWriteFrom(req, scheme) {
        const site = req.headers["sec-fetch-site"];
        if (site && site !== "same-origin" && site !== "none") return "a write from another site's page is refused";
        const origin = req.headers.origin;
        if (origin && origin !== `${scheme}://${req.headers.host}`) return `a write from ${origin} is refused`;
        if (!/^application\/json\s*(;|$)/i.test(req.headers["content-type"] || "")) return "a write is a JSON body (Content-Type: application/json)";
        return null;
    }

    // Resolves with {name, writer} for a known user, {name: null, writer: false} when there are
    // no users, or null when the request carries no valid credentials.
    async identify(req) {
        if (!this.users) return { name: null, writer: false };
        const header = String(req.headers.authorization || "");
        const m = /^Basic\s+([A-Za-z0-9+/=]{1,1024})\s*$/i.exec(header);
        if (!m) return null;
        const decoded = Buffer.from(m[1], "base64").toString("utf8");
        const colon = decoded.indexOf(":");
        if (colon < 1) return null;
        const id = crypto.createHmac("sha256", this.key).update(header).digest("base64");
        const known = this.remembered.get(id);
        if (known && known.until > Date.now()) return { name: known.name, writer: known.writer };
        this.remembered.delete(id);
        const name = decoded.slice(0, colon);
        const user = this.users.get(name);
        const ok = await this._check(decoded.slice(colon + 1), user ? user.hash : null);
        if (!ok || !user) return null;
        if (this.remembered.size >= REMEMBERED_MAX) this.remembered.delete(this.remembered.keys().next().value);
        this.remembered.set(id, { name, writer: user.writer, until: Date.now() + REMEMBER_MS });
        return { name, writer: user.writer };
    }

    // One scrypt check, in turn; throws "busy" when too many wait. A check that ends hands
    // its place to the first that waits.
    async _check(password, hash) {
        if (this.checking >= CHECKS_AT_ONCE) {
            if (this.waiting.length >= CHECKS_WAITING) throw new Error("busy");
            await new Promise((resolve) => this.waiting.push(resolve));
        } else this.checking++;
        try {
            return await passwordMatchesAsync(password, hash);
        } finally {
            const next = this.waiting.shift();
            if (next) next();
            else this.checking--;
        }
    }
}

module.exports = { Access };
