"use strict";
// The on-disk queue of changes that could not be published: an SQLite database (better-sqlite3)
// in the buffer folder, one per format and node, held by one publisher at a time. A change is
// {item, value, quality, ts}; each gets the next sequence number and is kept until it is
// removed after the broker acknowledged it. Appending keeps the database within its bound by
// removing the oldest changes, which are counted.
const fs = require("node:fs");
const path = require("node:path");
const Database = require("better-sqlite3");

const SCHEMA = `CREATE TABLE IF NOT EXISTS changes (
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    item TEXT NOT NULL,
    value TEXT NOT NULL,
    quality INTEGER NOT NULL,
    ts INTEGER NOT NULL)`;

class ChangeQueue {
    // Opens (making it when needed) the queue file in dir; throws with a sentence when it cannot,
    // or when another process holds it.
    constructor(dir, name, maxBytes) {
        this.maxBytes = maxBytes;
        this.dir = dir;
        this.name = name;
        this.file = path.join(dir, `${name}.sqlite`);
        this.dropped = 0; // changes removed unpublished, since the start
        try {
            fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
            this.db = new Database(this.file);
        } catch (e) {
            throw new Error(`the buffer ${this.file}: ${e.message}`);
        }
        try {
            const db = this.db;
            // Exclusive: a second publisher on the same queue would replay it twice.
            db.pragma("locking_mode = EXCLUSIVE");
            db.pragma("auto_vacuum = INCREMENTAL");
            db.pragma("journal_mode = WAL");
            // Every append is on disk when it returns: a power cut loses nothing appended.
            db.pragma("synchronous = FULL");
            db.pragma("journal_size_limit = 8388608");
            db.exec(SCHEMA);
            this.pageSize = db.pragma("page_size", { simple: true });
            this.insert = db.prepare("INSERT INTO changes (item, value, quality, ts) VALUES (?, ?, ?, ?)");
            this.selectAfter = db.prepare("SELECT seq, item, value, quality, ts FROM changes WHERE seq > ? ORDER BY seq LIMIT ?");
            this.deleteUpTo = db.prepare("DELETE FROM changes WHERE seq <= ?");
            this.oldest = db.prepare("SELECT seq FROM changes ORDER BY seq LIMIT 1 OFFSET ?");
            this.length = db.prepare("SELECT count(*) AS n FROM changes").get().n;
            this.appendAll = db.transaction((changes) => {
                for (const c of changes) this.insert.run(c.item, JSON.stringify(c.value === undefined ? null : c.value), c.quality | 0, Math.trunc(c.ts) || 0);
                this.length += changes.length;
                return this._bound();
            });
        } catch (e) {
            this.db.close();
            const busy = e.code === "SQLITE_BUSY" || e.code === "SQLITE_LOCKED";
            throw new Error(`the buffer ${this.file}: ${busy ? "another publisher is using it" : e.message}`);
        }
    }

    get empty() {
        return this.length === 0;
    }

    // The bytes the database's pages hold now.
    usedBytes() {
        const pages = this.db.pragma("page_count", { simple: true }) - this.db.pragma("freelist_count", { simple: true });
        return pages * this.pageSize;
    }

    // Appends the changes at the end, in one transaction; returns how many of the oldest were
    // removed to stay within the bound.
    append(changes) {
        if (!changes.length) return 0;
        return this.appendAll(changes);
    }

    // Removes the oldest changes until the pages in use are within the bound.
    _bound() {
        let removed = 0;
        for (let used = this.usedBytes(); used > this.maxBytes && this.length > 0; used = this.usedBytes()) {
            // As many rows as the excess is of the whole, and a tenth more, so that the next
            // appends find free pages instead of each removing a few rows.
            const share = (used - this.maxBytes) / used + 0.1;
            const n = Math.min(this.length, Math.max(1, Math.ceil(this.length * share)));
            const last = this.oldest.get(n - 1).seq;
            const gone = this.deleteUpTo.run(last).changes;
            this.length -= gone;
            removed += gone;
        }
        this.dropped += removed;
        return removed;
    }

    // Up to limit changes after sequence number seq, oldest first, as {seq, item, value,
    // quality, ts}. A row whose value is not JSON (the file is not ours alone) has value
    // undefined.
    after(seq, limit) {
        return this.selectAfter.all(seq, limit).map((r) => {
            let value;
            try {
                value = JSON.parse(r.value);
            } catch {
                value = undefined;
            }
            return { seq: r.seq, item: r.item, value, quality: r.quality, ts: r.ts };
        });
    }

    // Removes every change up to sequence number seq (published and acknowledged). When the
    // queue is empty its pages go back to the file system.
    remove(seq) {
        this.length -= this.deleteUpTo.run(seq).changes;
        if (this.length === 0) {
            this.db.pragma("incremental_vacuum");
            this.db.pragma("wal_checkpoint(TRUNCATE)");
        }
    }

    // The size of the database's files on disk, in bytes.
    diskBytes() {
        let total = 0;
        for (const f of [this.file, `${this.file}-wal`]) {
            try {
                total += fs.statSync(f).size;
            } catch {
                // not there
            }
        }
        return total;
    }

    close() {
        if (this.db.open) this.db.close();
    }
}

module.exports = { ChangeQueue };
