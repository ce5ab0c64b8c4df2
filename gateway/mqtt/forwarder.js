"use strict";
// Store and forward. While the way to the subscribers is closed (the broker away, or the
// Sparkplug primary host offline) every change goes to the on-disk queue. When it opens, the
// queue is replayed first, in order and paced, and the changes that arrive meanwhile go to its
// end, so that each item's changes stay in order; once it is empty, changes are published live
// again. A change leaves the queue only once the broker acknowledged it.
//
// The format gives messages(changes): the messages that carry these queued changes, in order,
// each as {last (the sequence number of the last change it carries), count (of the changes
// it carries), topic, payload, options}, and skipped, how many changes it could not carry
// (an item no longer published, a device that is not born). They are published at QoS 1;
// what the broker has not acknowledged when the connection is lost is taken back from
// mqtt.js (which would send it again, before anything else, on the next connection) and
// replayed again from the queue. What the broker acknowledged is removed from the queue once
// a tick, in one transaction, not once a message: each removal waits for the disk.
const { writeFigures, removeFigures } = require("../common/buffer-figures");

const TICK_MS = 100;
const MAX_BATCH = 500;
const FIGURES_MS = 5000;

class Forwarder {
    constructor({ queue, rate, log, messages }) {
        this.queue = queue;
        this.rate = rate; // changes a second
        this.log = log;
        this.messages = messages;
        this.client = null;
        this.pending = new Set(); // the callbacks of the messages in flight
        this.watched = new WeakSet(); // the clients whose losses take back what is in flight
        this.state = "closed"; // closed: queueing; replaying: the queue first; live
        this.timer = null;
        this.cursor = 0; // the last sequence number published (sequence numbers only grow)
        this.batches = []; // published, in order: {first, last, acked}
        this.onLive = null;
        this.outage = null; // {dropped: the count before it, told: the drop was told}
        this.replayed = 0;
        this.skipped = 0;
        this.figuresTimer = setInterval(() => this._figures(), FIGURES_MS);
        this.figuresTimer.unref();
        this._figures();
    }

    // The buffer's figures for the web interface's metrics.
    _figures() {
        const state = this.state === "closed" ? "buffering" : this.state;
        try {
            writeFigures(this.queue.dir, this.queue.name, { state, buffered: this.queue.length, bytes: this.queue.diskBytes(), dropped: this.queue.dropped });
        } catch (e) {
            if (!this.figuresFailed) this.log(`the buffer's figures: ${e.message}`);
            this.figuresFailed = true;
        }
    }

    get live() {
        return this.state === "live";
    }

    // Queues the changed items when they cannot be published live now; returns whether it did.
    take(items) {
        if (this.state === "live") return false;
        if (!this.outage) {
            this.outage = { dropped: this.queue.dropped, told: false };
            if (this.state === "closed")
                this.log(`changes are kept in ${this.queue.file} (at most ${Math.round(this.queue.maxBytes / 1048576)} MB) until they can be published`);
        }
        const changes = [];
        for (const i of items) changes.push({ item: i.id, value: i.value, quality: i.quality, ts: i.ts });
        if (this.queue.append(changes) && !this.outage.told) {
            this.outage.told = true;
            this.log(`the buffer is full (${Math.round(this.queue.maxBytes / 1048576)} MB): the oldest changes are dropped to make room`);
        }
        return true;
    }

    // The way to the broker through client is open: replay what is queued, then live. onLive
    // is called once live (now, when nothing is queued).
    open(client, onLive) {
        this._watch(client);
        this.onLive = onLive;
        if (this.state === "live") return this._goLive();
        if (this.state === "replaying") return;
        if (this.queue.empty) {
            this.outage = null;
            return this._goLive();
        }
        this.state = "replaying";
        this._figures();
        this.replayed = 0;
        this.skipped = 0;
        this.log(`replaying ${this.queue.length} kept changes, at most ${this.rate} a second`);
        this.started = Date.now();
        this.timer = setInterval(() => this._tick(), TICK_MS);
    }

    // The way is closed: queue from now on. What is in flight comes back through done(error).
    close() {
        clearInterval(this.timer);
        this.timer = null;
        if (this.state !== "closed") {
            this.state = "closed";
            this._figures();
        }
    }

    stop() {
        this.close();
        clearInterval(this.figuresTimer);
        removeFigures(this.queue.dir, this.queue.name);
        this.queue.close();
    }

    _goLive() {
        this.state = "live";
        this._figures();
        const onLive = this.onLive;
        this.onLive = null;
        if (onLive) onLive();
    }

    _watch(client) {
        this.client = client;
        if (this.watched.has(client)) return;
        this.watched.add(client);
        client.on("close", () => {
            for (const [id, o] of Object.entries(client.outgoing))
                if (this.pending.has(o.cb)) client.removeOutgoingMessage(Number(id));
        });
    }

    _inFlight() {
        let n = 0;
        for (const b of this.batches) if (!b.acked) n += b.last - b.first + 1;
        return n;
    }

    _tick() {
        if (this.state !== "replaying") return;
        this._removeAcknowledged();
        // A tenth of the rate each tick, and no more than a second's worth unacknowledged.
        let allowance = Math.min(Math.ceil(this.rate / (1000 / TICK_MS)), this.rate - this._inFlight());
        while (allowance > 0 && this.client.connected) {
            const changes = this.queue.after(this.cursor, Math.min(allowance, MAX_BATCH));
            if (!changes.length) break;
            allowance -= changes.length;
            this.cursor = changes[changes.length - 1].seq;
            const { messages, skipped } = this.messages(changes);
            this.skipped += skipped;
            let first = changes[0].seq;
            for (const m of messages) {
                this._publish(first, m);
                first = m.last + 1;
            }
            // Changes after the last message that no message carries are done with.
            if (first <= this.cursor) this.batches.push({ first, last: this.cursor, acked: true });
        }
        this._removeAcknowledged();
        if (!this.batches.length && this.queue.empty) this._drained();
    }

    _publish(first, m) {
        const batch = { first, last: m.last, count: m.count, acked: false };
        this.batches.push(batch);
        const acked = (error) => {
            this.pending.delete(acked);
            this._done(batch, error);
        };
        this.pending.add(acked);
        this.client.publish(m.topic, m.payload, { ...m.options, qos: 1 }, acked);
    }

    _done(batch, error) {
        if (batch.gone) return;
        if (error) {
            // Taken back, and so is everything after it: replayed again from the first one
            // not acknowledged.
            for (const b of this.batches) if (b.first >= batch.first) b.gone = true;
            this.batches = this.batches.filter((b) => !b.gone);
            this.cursor = Math.min(this.cursor, batch.first - 1);
            return;
        }
        batch.acked = true;
        this.replayed += batch.count;
    }

    // Removes from the queue what the broker acknowledged, up to the first still in flight.
    _removeAcknowledged() {
        let last = 0;
        while (this.batches.length && this.batches[0].acked) last = this.batches.shift().last;
        if (last) this.queue.remove(last);
    }

    _drained() {
        clearInterval(this.timer);
        this.timer = null;
        const seconds = ((Date.now() - this.started) / 1000).toFixed(1);
        const outage = this.outage;
        const dropped = outage ? this.queue.dropped - outage.dropped : 0;
        let line = `replayed ${this.replayed} kept changes in ${seconds} s`;
        if (dropped) line += `; ${dropped} older changes had been dropped because the buffer was full`;
        if (this.skipped) line += `; ${this.skipped} were not published (items no longer published, or PLCs not answering now)`;
        this.log(line);
        this.outage = null;
        this._goLive();
    }
}

module.exports = { Forwarder };
