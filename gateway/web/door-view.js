"use strict";
// What the web interface knows of the server, through its door: the tree of branches and
// items (read when the door opens), the latest figures of the PLCs and lines, the message
// lines, and the live values of the items some page is watching. Those items are in one door
// group at the update rate, active while at least one page watches them, so that the server
// polls the PLCs for what is on a screen and nothing more.
//
// Emits "up" and "down" with the door, "changes" (the watched items whose value or quality
// changed, as [{id, value, quality, ts}]), "figures" (a new stats reply, while pages are
// open) and "messages" (when a message line was added).
const { EventEmitter } = require("node:events");

const ADD_CHUNK = 2000; // items per addItems request, well below the door's line limit
const FIGURES_EVERY_MS = 1000;

class DoorView extends EventEmitter {
    constructor(door, { rate, log }) {
        super();
        this.door = door;
        this.rate = rate;
        this.log = log;
        this.up = false;
        this.generation = 0;
        this.branches = []; // [{branch, name, parent}] in namespace order
        this.items = new Map(); // id -> {item, name, parent, datatype, vartype, access, rights, description, elements}
        this.watchers = new Map(); // id -> pages watching it
        this.slots = new Map(); // id -> {handle, active, value, quality, ts}: in the door group
        this.byClientHandle = []; // clientHandle -> id
        this.group = 0;
        this.queue = Promise.resolve(); // door group requests, one after the other
        this.syncQueued = false;
        this.figures = null; // the latest stats reply
        this.messages = { messages: [], written: -1 };
        this.pages = 0; // open live streams: figures and messages are polled while > 0
        this.timer = null;
        door.on("up", () => this._up().catch((e) => this.log(`the door: ${e.message}`)));
        door.on("down", () => this._down());
        door.on("dataChange", (msg) => this._dataChange(msg));
    }

    async _up() {
        const generation = ++this.generation;
        const tree = await this.door.request("browse", { details: true });
        const group = await this.door.request("addGroup", { rate: this.rate, active: true });
        if (generation !== this.generation) return;
        this.branches = tree.branches;
        this.items = new Map(tree.items.map((it) => [it.item, it]));
        this.group = group.group;
        this.slots.clear();
        this.byClientHandle = [];
        this.up = true;
        this._sync();
        await Promise.all([this.refreshFigures(), this._refreshMessages()]).catch(() => {});
        if (generation === this.generation) this.emit("up");
    }

    _down() {
        this.generation++;
        this.up = false;
        this.group = 0;
        this.slots.clear();
        this.emit("down");
    }

    // The items under a branch path ("" for all): the branch's subtree, in namespace order;
    // null when there is no such branch.
    itemsUnder(branch) {
        if (branch && !this.branches.some((b) => b.branch === branch)) return null;
        const prefix = branch ? `${branch}.` : "";
        return [...this.items.values()].filter((it) => it.item.startsWith(prefix));
    }

    // The latest value of a watched item, or null.
    liveValue(id) {
        const s = this.slots.get(id);
        return s && s.ts !== undefined ? s : null;
    }

    // A page starts (or stops) showing these items.
    watch(ids) {
        for (const id of ids) this.watchers.set(id, (this.watchers.get(id) || 0) + 1);
        this._sync();
    }

    unwatch(ids) {
        for (const id of ids) {
            const n = (this.watchers.get(id) || 0) - 1;
            if (n > 0) this.watchers.set(id, n);
            else this.watchers.delete(id);
        }
        this._sync();
    }

    // Brings the door group in line with what is watched: new items added, items no page
    // shows any more made inactive (kept, so that showing them again costs one request).
    _sync() {
        if (this.syncQueued) return;
        this.syncQueued = true;
        this.queue = this.queue
            .then(() => {
                this.syncQueued = false;
                return this._syncNow(this.generation);
            })
            .catch((e) => this.log(`the watched items: ${e.message}`));
    }

    async _syncNow(generation) {
        if (!this.up) return;
        const add = [];
        const activate = [];
        const deactivate = [];
        for (const id of this.watchers.keys()) {
            const s = this.slots.get(id);
            if (!s) {
                if (this.items.has(id)) add.push(id);
            } else if (!s.active) activate.push(s);
        }
        for (const [id, s] of this.slots) if (s.active && s.handle && !this.watchers.has(id)) deactivate.push(s);
        for (const [slots, active] of [[activate, true], [deactivate, false]]) {
            if (!slots.length) continue;
            await this.door.request("setItemsActive", { group: this.group, handles: slots.map((s) => s.handle), active });
            if (generation !== this.generation) return;
            // An item shown again reports its value anew; until then it has none.
            for (const s of slots) {
                s.active = active;
                if (!active) s.ts = undefined;
            }
        }
        for (let i = 0; i < add.length; i += ADD_CHUNK) {
            const chunk = add.slice(i, i + ADD_CHUNK);
            const first = this.byClientHandle.length;
            this.byClientHandle.push(...chunk);
            // The slots first: the first values may come in the same read as the reply.
            const slots = chunk.map((id) => {
                const s = { handle: 0, active: true };
                this.slots.set(id, s);
                return s;
            });
            const added = await this.door.request("addItems", {
                group: this.group,
                items: chunk.map((item, k) => ({ item, clientHandle: first + k })),
            });
            if (generation !== this.generation) return;
            added.items.forEach((r, k) => {
                if (r.handle) slots[k].handle = r.handle;
                else {
                    this.slots.delete(chunk[k]);
                    this.log(`item ${chunk[k]}: ${r.error}`);
                }
            });
        }
    }

    _dataChange(msg) {
        if (msg.group !== this.group || !this.up) return;
        const changes = [];
        for (const ch of msg.items) {
            const id = this.byClientHandle[ch.clientHandle];
            const s = id && this.slots.get(id);
            if (!s) continue;
            s.value = ch.value === undefined ? null : ch.value;
            s.quality = ch.quality;
            s.ts = ch.timestamp;
            changes.push({ id, value: s.value, quality: s.quality, ts: s.ts });
        }
        if (changes.length) this.emit("changes", changes);
    }

    // A page opened or closed: the figures and message lines are polled while one is open.
    pageOpened() {
        if (this.pages++ === 0) {
            this.timer = setInterval(() => {
                if (!this.up) return;
                this.refreshFigures().then((f) => this.emit("figures", f), () => {});
                this._refreshMessages().catch(() => {});
            }, FIGURES_EVERY_MS);
            this.timer.unref();
        }
    }

    pageClosed() {
        if (--this.pages === 0) clearInterval(this.timer);
    }

    // The stats reply, asked for now (one request at a time: a caller meanwhile gets the same).
    refreshFigures() {
        if (!this.figuresRequest) {
            this.figuresRequest = Promise.all([this.door.request("stats"), this.door.request("status")])
                .then(([stats, status]) => {
                    this.figures = { plcs: stats.plcs, lines: stats.lines, clients: status.clients, at: Date.now() };
                    return this.figures;
                })
                .finally(() => (this.figuresRequest = null));
        }
        return this.figuresRequest;
    }

    async _refreshMessages() {
        const reply = await this.door.request("messages");
        if (reply.written === this.messages.written) return;
        this.messages = { messages: reply.messages, written: reply.written };
        this.emit("messages", this.messages);
    }
}

module.exports = { DoorView };
