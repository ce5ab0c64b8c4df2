"use strict";
// The figures of an MQTT publisher's on-disk buffer, for vorlask-web's metrics: a small file
// NAME.figures.json beside the queue NAME.sqlite, written again every few seconds while the
// publisher runs and removed when it stops. A file not written for STALE_MS is a publisher
// that is gone.
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");

const SUFFIX = ".figures.json";
const STALE_MS = 30000;
const MAX_FILES = 32;
const MAX_BYTES = 4096;
const STATES = ["live", "replaying", "buffering"];

// The buffer folder when none is given: the service's state folder, else the user's data
// folder.
function defaultBufferDir(env) {
    if (env.STATE_DIRECTORY) return path.join(env.STATE_DIRECTORY.split(":")[0], "mqtt");
    const data = env.XDG_DATA_HOME || path.join(os.homedir(), ".local", "share");
    return path.join(data, "vorlask", "mqtt");
}

// figures: {state, buffered, bytes, dropped}. Written whole or not at all.
function writeFigures(dir, name, figures) {
    const file = path.join(dir, name + SUFFIX);
    const temporary = `${file}.${process.pid}.tmp`;
    fs.writeFileSync(temporary, JSON.stringify({ ...figures, updated: Date.now() }), { mode: 0o600 });
    fs.renameSync(temporary, file);
}

function removeFigures(dir, name) {
    fs.rmSync(path.join(dir, name + SUFFIX), { force: true });
}

// The figures of the publishers that wrote theirs lately, each with its name as publisher.
// What is not a fresh, small figures file of ours is left out.
function readFigures(dir, now = Date.now()) {
    let names;
    try {
        names = fs.readdirSync(dir).filter((f) => f.endsWith(SUFFIX)).sort().slice(0, MAX_FILES);
    } catch {
        return [];
    }
    const out = [];
    for (const f of names) {
        let figures;
        try {
            const fd = fs.openSync(path.join(dir, f), fs.constants.O_RDONLY | fs.constants.O_NOFOLLOW | fs.constants.O_NONBLOCK);
            try {
                const buffer = Buffer.alloc(MAX_BYTES + 1);
                const n = fs.readSync(fd, buffer, 0, buffer.length, 0);
                if (n > MAX_BYTES) continue;
                figures = JSON.parse(buffer.subarray(0, n).toString("utf8"));
            } finally {
                fs.closeSync(fd);
            }
        } catch {
            continue;
        }
        const counts = ["buffered", "bytes", "dropped", "updated"];
        if (!figures || !STATES.includes(figures.state) || !counts.every((k) => Number.isFinite(figures[k]) && figures[k] >= 0)) continue;
        if (now - figures.updated > STALE_MS) continue;
        out.push({ publisher: f.slice(0, -SUFFIX.length), state: figures.state, buffered: figures.buffered, bytes: figures.bytes, dropped: figures.dropped });
    }
    return out;
}

module.exports = { defaultBufferDir, writeFigures, removeFigures, readFigures, STATES };
