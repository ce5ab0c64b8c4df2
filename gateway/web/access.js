"use strict";
// Who is asking, and whether a request may be served at all.
//
// - Without a users file every request is anonymous and reads; no one writes.
// - With one, a request carries HTTP Basic credentials. A password is checked with scrypt
//   (slow on purpose, and 128 MiB each): at most two checks run at once and a few wait, the
//   rest are refused, so that a flood of guesses cannot exhaust memory; one address may have
//   at most two checks running or waiting, so that it cannot keep others from logging in.
//   Credentials are known by a keyed hash of the header (never the password itself): good
//   ones are remembered for ten minutes and bad ones for ten seconds, and requests that carry
//   the same header while it is being checked wait for that one check.
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
const CHECKS_PER_ADDRESS = 2;
const REFUSED_MS = 10 * 1000;

class Access {
    constructor({ users, loopback, port }) {
        this.users = users; // Map name -> {hash, writer}, or null
        this.loopback = loopback;
        this.port = port;
        this.key = crypto.randomBytes(32);
        this.remembered = new Map(); // keyed hash -> {name, writer, until}; name null: refused
        this.inProgress = new Map(); // keyed hash -> promise of the check's answer
        this.perAddress = new Map(); // remote address -> checks running or waiting
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
    // no users, or null when the request carries no valid credentials; throws "busy" when too
    // many checks run or wait.
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
        if (known && known.until > Date.now()) return known.name === null ? null : { name: known.name, writer: known.writer };
        this.remembered.delete(id);
        let check = this.inProgress.get(id);
        if (!check) {
            const address = req.socket.remoteAddress;
            const mine = this.perAddress.get(address) || 0;
            if (mine >= CHECKS_PER_ADDRESS) throw new Error("busy");
            this.perAddress.set(address, mine + 1);
            const name = decoded.slice(0, colon);
            const user = this.users.get(name);
            check = this._check(decoded.slice(colon + 1), user ? user.hash : null)
                .then((ok) => {
                    const who = ok && user ? { name, writer: user.writer } : { name: null, writer: false };
                    if (this.remembered.size >= REMEMBERED_MAX) this.remembered.delete(this.remembered.keys().next().value);
                    this.remembered.set(id, { ...who, until: Date.now() + (who.name === null ? REFUSED_MS : REMEMBER_MS) });
                    return who;
                })
                .finally(() => {
                    this.inProgress.delete(id);
                    const left = this.perAddress.get(address) - 1;
                    if (left > 0) this.perAddress.set(address, left);
                    else this.perAddress.delete(address);
                });
            this.inProgress.set(id, check);
        }
        const who = await check;
        return who.name === null ? null : who;
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
