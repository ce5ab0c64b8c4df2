"use strict";
// User names and passwords of the gateways (OPC UA, web): a file of "name:hash" lines, each
// hash a salted scrypt hash made by `vorlask-opcua --hash-password` or `vorlask-web
// --hash-password`; a third field "writer" lets the user write ("name:hash:writer"). Blank
// lines and lines starting with # are ignored.
//
// A hash is "scrypt$ln=17,r=8,p=1$SALT$KEY" (cost 2^ln); the older "scrypt$SALT$KEY" form
// stands for cost 2^14 and is still verified, so existing files keep working.
const crypto = require("node:crypto");
const fs = require("node:fs");

const COST = { ln: 17, r: 8, p: 1 };
const OLD_COST = { ln: 14, r: 8, p: 1 };
const KEY_LENGTH = 32;

function scryptOptions({ ln, r, p }) {
    const N = 2 ** ln;
    // scrypt needs 128 * N * r bytes; room beyond that for the call itself.
    return { N, r, p, maxmem: 256 * N * r };
}

function hashPassword(password) {
    const salt = crypto.randomBytes(16);
    const key = crypto.scryptSync(password, salt, KEY_LENGTH, scryptOptions(COST));
    return `scrypt$ln=${COST.ln},r=${COST.r},p=${COST.p}$${salt.toString("base64")}$${key.toString("base64")}`;
}

// {cost, salt, key} of a hash, or null for one that is not ours.
function parseHash(hash) {
    const parts = hash.split("$");
    if (parts[0] !== "scrypt" || (parts.length !== 3 && parts.length !== 4)) return null;
    let cost = OLD_COST;
    if (parts.length === 4) {
        const m = /^ln=(\d+),r=(\d+),p=(\d+)$/.exec(parts[1]);
        if (!m) return null;
        cost = { ln: +m[1], r: +m[2], p: +m[3] };
        // Bounds that keep a crafted file from asking for unbounded memory or time.
        if (cost.ln < 10 || cost.ln > 20 || cost.r < 1 || cost.r > 32 || cost.p < 1 || cost.p > 4) return null;
    }
    const salt = Buffer.from(parts[parts.length - 2], "base64");
    const key = Buffer.from(parts[parts.length - 1], "base64");
    if (salt.length === 0 || key.length !== KEY_LENGTH) return null;
    return { cost, salt, key };
}

// A hash to check unknown names against, so that a refusal takes as long whether or not the
// name exists.
const DUMMY = parseHash(hashPassword(crypto.randomBytes(16).toString("hex")));

// Resolves with whether the password matches the hash, without blocking the event loop.
function passwordMatchesAsync(password, hash) {
    const parsed = (hash && parseHash(hash)) || null;
    const h = parsed || DUMMY;
    return new Promise((resolve) => {
        crypto.scrypt(String(password), h.salt, KEY_LENGTH, scryptOptions(h.cost), (err, key) => {
            resolve(!err && parsed !== null && crypto.timingSafeEqual(key, h.key));
        });
    });
}

// Map name -> {hash, writer}; throws with "FILE:LINE: reason" on a malformed line.
function readUsers(file) {
    const users = new Map();
    const lines = fs.readFileSync(file, "utf8").split(/\r?\n/);
    lines.forEach((raw, i) => {
        const line = raw.trim();
        if (!line || line.startsWith("#")) return;
        const fields = line.split(":");
        const where = `${file}:${i + 1}`;
        if (fields.length < 2 || fields.length > 3 || !fields[0] || !parseHash(fields[1]))
            throw new Error(`${where}: expected name:hash or name:hash:writer`);
        if (fields.length === 3 && fields[2] !== "writer")
            throw new Error(`${where}: the third field is "writer" or absent`);
        if (users.has(fields[0])) throw new Error(`${where}: user "${fields[0]}" is named twice`);
        users.set(fields[0], { hash: fields[1], writer: fields.length === 3 });
    });
    if (users.size === 0) throw new Error(`${file}: no users`);
    return users;
}

// --hash-password: reads a password from standard input and prints its hash; the exit code.
function printPasswordHash(log) {
    const password = fs.readFileSync(0, "utf8").replace(/\r?\n$/, "");
    if (!password) {
        log("no password on standard input");
        return 2;
    }
    process.stdout.write(hashPassword(password) + "\n");
    return 0;
}

// The users of a --users file; logs why and returns null when it cannot be used.
function loadUsers(file, log) {
    try {
        return readUsers(file);
    } catch (e) {
        log(e.code === "ENOENT" ? `${file}: no such file` : e.message);
        return null;
    }
}

module.exports = { hashPassword, passwordMatchesAsync, readUsers, printPasswordHash, loadUsers };
