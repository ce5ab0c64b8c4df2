"use strict";
// The JSON format: each item on its own retained topic vorlask/NODE/ITEM/PATH as
// {"value", "quality", "ts"} (QoS 1), vorlask/NODE/$status "online" while the door is there
// ("offline" otherwise, and through the will when the publisher vanishes), and writes by
// {"value"} on .../set, answered on .../set/result. Each PLC's own status (mode, model, fatal
// error and FALS flags, message, last result) is retained on vorlask/NODE/$plc/PLC.
// While the broker is away the changes wait in the on-disk queue; when it is back they are
// published first, in order and not retained, with their own time stamps, and then every
// item's latest value again, retained (a broker may have lost its retained store).
const { connectBroker } = require("./broker");
const { Forwarder } = require("./forwarder");
const { WriteCounter } = require("./write-counter");
const { Source } = require("./source");
const { itemTopic, setFilters, valuePayload, parseSetRequest } = require("./json-topics");

const QOS = 1;

class JsonPublisher {
    constructor(o, source, log, queue) {
        this.o = o;
        this.source = source;
        this.log = log;
        this.root = `vorlask/${o.node}`;
        this.statusTopic = `${this.root}/$status`;
        this.byTopic = new Map(); // value topic -> item
        this.topicOf = new Map(); // item -> value topic
        this.doorUp = false;
        this.ignored = new WriteCounter(log);
        this.forward = new Forwarder({ queue, rate: o.replayRate, log, messages: (changes) => this._replayed(changes) });
        this.client = connectBroker(o, { topic: this.statusTopic, payload: "offline", qos: QOS, retain: true }, log);
        this.client.on("connect", () => this._online());
        this.client.on("close", () => this.forward.close());
        this.client.on("message", (topic, payload, packet) => this._message(topic, payload, packet));
        source.on("ready", (items) => this._ready(items));
        source.on("changes", (items) => this.forward.take(items) || this._publish(items));
        source.on("down", () => this._down());
        source.on("plcs", (changed) => this._publishPlcs(changed));
    }

    _publishPlcs(changed) {
        if (!this.client.connected) return;
        for (const { plc, status } of changed) {
            if (/[+#/]/.test(plc)) continue;
            this.client.publish(`${this.root}/$plc/${plc}`, JSON.stringify(status), { qos: QOS, retain: true });
        }
    }

    stop() {
        return new Promise((resolve) => {
            const end = () => this.client.end(false, {}, () => {
                this.forward.stop();
                resolve();
            });
            if (this.client.connected) this.client.publish(this.statusTopic, "offline", { qos: QOS, retain: true }, end);
            else end();
        });
    }

    _ready(items) {
        this.byTopic.clear();
        this.topicOf.clear();
        const skipped = [];
        for (const item of items) {
            const topic = itemTopic(this.root, item.id);
            if (!topic) {
                skipped.push(item.id);
                continue;
            }
            this.byTopic.set(topic, item);
            this.topicOf.set(item, topic);
        }
        if (skipped.length) this.log(`not published (+ and # cannot be in a topic): ${skipped.join(", ")}`);
        this.doorUp = true;
        if (this.client.connected) this._online();
    }

    _down() {
        this.doorUp = false;
        if (this.client.connected) this.client.publish(this.statusTopic, "offline", { qos: QOS, retain: true });
    }

    // The broker is there (again), or the door is: status, write topics, the kept changes and
    // then every value.
    _online() {
        this.client.publish(this.statusTopic, this.doorUp ? "online" : "offline", { qos: QOS, retain: true });
        if (!this.doorUp) return;
        const filters = setFilters(this.root, this.byTopic.keys());
        if (filters.length) this.client.subscribe(filters, { qos: QOS });
        this.forward.open(this.client, () => {
            this._publish(this.topicOf.keys());
            this._publishPlcs([...this.source.plcStatus].map(([plc, status]) => ({ plc, status })));
        });
    }

    // The messages of kept changes: each on its item's topic, not retained.
    _replayed(changes) {
        const messages = [];
        for (const c of changes) {
            const item = this.source.items.get(c.item);
            const topic = this.topicOf.get(item);
            if (!topic || !Source.fits(item, c.value)) continue;
            messages.push({ last: c.seq, count: 1, topic, payload: valuePayload(c.value, c.quality, c.ts), options: { retain: false } });
        }
        return { messages, skipped: changes.length - messages.length };
    }

    _publish(items) {
        for (const item of items) {
            const topic = this.topicOf.get(item);
            if (!topic || !this.client.connected || !item.readable || !Source.known(item)) continue;
            this.client.publish(topic, valuePayload(item.value, item.quality, item.ts), { qos: QOS, retain: true });
        }
    }

    async _message(topic, payload, packet) {
        if (!topic.endsWith("/set")) return;
        const item = this.byTopic.get(topic.slice(0, -4));
        // Our own value topic of an item named "set", or a retained request left on the broker
        // (carried out once, it must not be carried out again at each reconnection).
        if (this.byTopic.has(topic) || packet.retain) return;
        if (!this.o.allowWrites) {
            this.ignored.count(topic);
            return;
        }
        const answer = (result) => this.client.publish(`${topic}/result`, JSON.stringify(result), { qos: QOS });
        if (!item) return answer({ ok: false, error: "no item of this gateway has this topic" });
        const request = parseSetRequest(payload);
        if (request.error) return answer({ ok: false, error: request.error });
        if (!this.doorUp) return answer({ ok: false, error: "the server is not reachable" });
        answer(await this.source.write(item, request.value));
    }
}

module.exports = { JsonPublisher };
