"use strict";
// The publisher's side of the door: the selected items, in one door group at the update rate,
// so that the PLCs are polled for those items only, and the latest value of each. Emits
// "ready" (the items, each with its current value when the door had one) when the door is
// (again) there, "changes" (the items that changed, with their new values) as the door
// reports them, and "down" when the door is lost. "plcs" carries the PLCs whose own status
// (mode, model, error flags, message, last result) changed, each as {plc, status}; every
// PLC's is known (plcStatus) when "ready" comes.
const { EventEmitter } = require("node:events");
const { QUALITY, isArrayType, isReadable, isWritable, isGood } = require("../common/door-words");

const ADD_CHUNK = 2000; // items per addItems request, well below the door's line limit
const STATUS_REFRESH_MS = 2000; // how often the PLCs' own status is asked for
const STATUS_FIELDS = ["unit", "port", "mode", "model", "modelCode", "fatal", "fals", "message", "lastResult", "lastText"];

class Source extends EventEmitter {
    constructor(door, { select, rate, log }) {
        super();
        this.door = door;
        this.select = select;
        this.rate = rate;
        this.log = log;
        this.items = new Map(); // item ID -> item
        this.byHandle = []; // clientHandle -> item
        this.group = 0;
        this.generation = 0; // counts door connections, so a stale set-up stops
        this.plcStatus = new Map(); // PLC name -> its status as last published
        this.statusTimer = null;
        door.on("up", () => this._up().catch((e) => this.log(`the door: ${e.message}`)));
        door.on("down", () => this._down());
        door.on("dataChange", (msg) => this._dataChange(msg));
    }

    async _up() {
        const generation = ++this.generation;
        const tree = await this.door.request("browse", { details: true });
        const items = new Map();
        for (const it of tree.items) {
            if (!this.select(it.item)) continue;
            const dot = it.item.indexOf(".");
            items.set(it.item, {
                id: it.item,
                plc: dot < 0 ? "" : it.item.slice(0, dot),
                name: dot < 0 ? it.item : it.item.slice(dot + 1),
                vartype: it.vartype,
                isArray: isArrayType(it.vartype),
                elements: it.elements,
                rights: it.rights,
                readable: isReadable(it.rights),
                value: null,
                quality: 0,
                ts: 0,
                handle: 0,
            });
        }
        if (items.size === 0) this.log("no item of the server is selected: nothing to publish");
        const reply = await this.door.request("addGroup", { rate: this.rate, active: true });
        if (generation !== this.generation) return;
        this.group = reply.group;
        this.items = items;
        this.byHandle = [...items.values()];
        // The current values first, so that what is announced on (re)connection is not empty;
        // then the group, whose items report each change from now on.
        const ids = [...items.keys()];
        for (let i = 0; i < ids.length; i += ADD_CHUNK) {
            const values = await this.door.request("read", { items: ids.slice(i, i + ADD_CHUNK) });
            if (generation !== this.generation) return;
            for (const v of values.values) if (!v.error) this._take(items.get(v.item), v);
        }
        // The PLCs' status before "ready", so that a Sparkplug birth carries it.
        this.plcStatus.clear();
        await this._refreshPlcs(generation).catch((e) => this.log(`the PLCs' status: ${e.message}`));
        if (generation !== this.generation) return;
        this.emit("ready", this.byHandle);
        clearInterval(this.statusTimer);
        this.statusTimer = setInterval(() => this._refreshPlcs(generation).catch(() => {}), STATUS_REFRESH_MS);
        this.statusTimer.unref();
        for (let i = 0; i < this.byHandle.length; i += ADD_CHUNK) {
            const chunk = this.byHandle.slice(i, i + ADD_CHUNK);
            const added = await this.door.request("addItems", {
                group: this.group,
                items: chunk.map((item, k) => ({ item: item.id, clientHandle: i + k })),
            });
            if (generation !== this.generation) return;
            added.items.forEach((r, k) => {
                if (r.handle) chunk[k].handle = r.handle;
                else this.log(`item ${chunk[k].id}: ${r.error}`);
            });
        }
    }

    // Asks the door for the PLCs' status and emits the ones that changed.
    async _refreshPlcs(generation) {
        if (this.refreshing) return; // a slow door: one request at a time
        this.refreshing = true;
        let reply;
        try {
            reply = await this.door.request("plcs");
        } finally {
            this.refreshing = false;
        }
        if (generation !== this.generation) return;
        const changed = [];
        for (const p of reply.plcs || []) {
            const status = Object.fromEntries(STATUS_FIELDS.map((f) => [f, p[f] === undefined ? null : p[f]]));
            const text = JSON.stringify(status);
            if (JSON.stringify(this.plcStatus.get(p.plc)) === text) continue;
            this.plcStatus.set(p.plc, status);
            changed.push({ plc: p.plc, status });
        }
        if (changed.length) this.emit("plcs", changed);
    }

    _down() {
        clearInterval(this.statusTimer);
        this.statusTimer = null;
        this.refreshing = false;
        this.generation++;
        this.group = 0;
        this.emit("down");
    }

    // Whether the item's value is there: read once at least, or failed. (A readable item
    // that was never read has no value and a good quality.)
    static known(item) {
        return !item.readable || item.value !== null || !isGood(item.quality);
    }

    // Whether value can be a value of the item: one that a file (the buffer) gave back must
    // not make a publisher send what the item cannot hold.
    static fits(item, value) {
        const plain = (v) => v === null || ["number", "boolean", "string"].includes(typeof v);
        if (!item.isArray) return plain(value);
        return Array.isArray(value) && value.length <= (item.elements || 65536) && value.every(plain);
    }

    _take(item, v) {
        item.value = v.value === undefined ? null : v.value;
        item.quality = v.quality;
        item.ts = v.timestamp;
    }

    _dataChange(msg) {
        if (msg.group !== this.group) return;
        const changed = [];
        for (const ch of msg.items) {
            const item = this.byHandle[ch.clientHandle];
            if (!item) continue;
            this._take(item, ch);
            changed.push(item);
        }
        if (changed.length) this.emit("changes", changed);
    }

    // {ok: true} or {ok: false, error} for writing value to the item.
    async write(item, value) {
        if (!isWritable(item.rights)) return { ok: false, error: "the item is read-only" };
        try {
            const reply = await this.door.request("write", { items: [{ item: item.id, value }] });
            const r = reply.results[0];
            return r.ok ? { ok: true } : { ok: false, error: r.error };
        } catch (e) {
            return { ok: false, error: e.message };
        }
    }

    // The item's value read from the PLC now; throws with the reason when it cannot be had.
    async readDevice(item) {
        const reply = await this.door.request("read", { items: [item.id], source: "device" });
        const v = reply.values[0];
        if (v.error) throw new Error(v.error);
        if (v.quality !== QUALITY.GOOD) throw new Error(v.qualityText || "bad quality");
        return v.value;
    }
}

module.exports = { Source };
