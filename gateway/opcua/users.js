"use strict";
// User names and passwords of the OPC UA server: a file of "name:hash" lines, each hash a
// salted scrypt hash made by `vorlask-opcua --hash-password`; a third field "writer" lets the
// user write ("name:hash:writer"). Blank lines and lines starting with # are ignored.
const crypto = require("node:crypto");
const fs = require("node:fs");

const SCRYPT = { N: 16384, r: 8, p: 1 };
const KEY_LENGTH = 32;

function hashPassword(password) {
    const salt = crypto.randomBytes(16);
    const key = crypto.scryptSync(password, salt, KEY_LENGTH, SCRYPT);
    return `scrypt$${salt.toString("base64")}$${key.toString("base64")}`;
}

function passwordMatches(password, hash) {
    const parts = hash.split("$");
    if (parts.length !== 3 || parts[0] !== "scrypt") return false;
    const salt = Buffer.from(parts[1], "base64");
    const expected = Buffer.from(parts[2], "base64");
    if (salt.length === 0 || expected.length !== KEY_LENGTH) return false;
    const key = crypto.scryptSync(password, salt, KEY_LENGTH, SCRYPT);
    return crypto.timingSafeEqual(key, expected);
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
        if (fields.length < 2 || fields.length > 3 || !fields[0] || !fields[1].startsWith("scrypt$"))
            throw new Error(`${where}: expected name:hash or name:hash:writer`);
        if (fields.length === 3 && fields[2] !== "writer")
            throw new Error(`${where}: the third field is "writer" or absent`);
        if (users.has(fields[0])) throw new Error(`${where}: user "${fields[0]}" is named twice`);
        users.set(fields[0], { hash: fields[1], writer: fields.length === 3 });
    });
    if (users.size === 0) throw new Error(`${file}: no users`);
    return users;
}

module.exports = { hashPassword, passwordMatches, readUsers };
