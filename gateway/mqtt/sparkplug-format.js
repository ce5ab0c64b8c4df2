"use strict";
// The Sparkplug B format: the gateway is edge node NODE of group GROUP, each PLC a device.
// A connection to the broker carries its NDEATH as the will, with the session's bdSeq; it
// opens with NBIRTH (seq 0, bdSeq, Node Control/Rebirth) and a DBIRTH for each PLC that
// answers, then DDATA with the changes; a PLC whose line fails gets a DDEATH, and a DBIRTH
// when it answers again. Each message after NBIRTH takes the next seq (0 to 255, then 0).
// Array items travel as one metric per element, NAME[i], since the payload codec has no
// array types. The connection is held only while the door is there: when the door is lost
// the node publishes its NDEATH and leaves, and comes back with a new bdSeq.
//
// With a primary host (--primary-host ID) the node is born only while the host's STATE
// (spBv1.0/STATE/ID) says it is online; when the host goes offline the node publishes its
// NDEATH, leaves and connects again to wait for it. While the broker or the host is away the
// changes wait in the on-disk queue; after the next births they are published as DDATA whose
// metrics are marked historical, in order, before anything live.
const sparkplug = require("sparkplug-payload").get("spBv1.0");
const { connectBroker } = require("./broker");
const { Forwarder } = require("./forwarder");
const { WriteCounter } = require("./write-counter");
const { Source } = require("./source");

const { QUALITY, isArrayType } = require("../common/door-words");
const { answers, itemMetrics, statusMetrics, plainValue, hostState } = require("./sparkplug-metrics");

const REBIRTH = "Node Control/Rebirth";
const REPLAY_METRICS = 200; // metrics in one historical DDATA at most

class SparkplugPublisher {
    constructor(o, source, log, queue) {
        this.o = o;
        this.source = source;
        this.log = log;
        this.prefix = `spBv1.0/${o.group}`;
        this.bdSeq = 0;
        this.seq = 0;
        this.client = null;
        this.born = false; // NBIRTH sent on this connection, and no NDEATH since
        this.stateTopic = o.primaryHost ? `spBv1.0/STATE/${o.primaryHost}` : null;
        this.hostOnline = !o.primaryHost;
        this.hostTimestamp = 0;
        this.forward = new Forwarder({ queue, rate: o.replayRate, log, messages: (changes) => this._replayed(changes) });
        this.devices = new Map(); // PLC name -> {name, items, alive, status: the _Status metrics last sent}
        this.ignored = new WriteCounter(log);
        source.on("ready", (items) => this._ready(items));
        source.on("changes", (items) => this._changes(items));
        source.on("down", () => this._leave());
        source.on("plcs", (changed) => this._plcs(changed));
    }

    _statusMetrics(plc) {
        return statusMetrics(this.source.plcStatus.get(plc));
    }

    // DDATA with the status metrics that changed since the device last sent them.
    _plcs(changed) {
        if (!this.forward.live) return; // sent when live again
        for (const { plc } of changed) {
            const d = this.devices.get(plc);
            if (!d || !d.alive) continue;
            const metrics = this._statusMetrics(plc);
            const fresh = metrics.filter((m) => d.status.get(m.name) !== m.value);
            metrics.forEach((m) => d.status.set(m.name, m.value));
            if (fresh.length) this._send("DDATA", d.name, fresh);
        }
    }

    _birth(d) {
        const status = this._statusMetrics(d.name);
        d.status = new Map(status.map((m) => [m.name, m.value]));
        this._send("DBIRTH", d.name, [...d.items.flatMap((i) => itemMetrics(i)), ...status]);
    }

    stop() {
        return this._leave().then(() => this.forward.stop());
    }

    _topic(type, device) {
        return `${this.prefix}/${type}/${this.o.node}${device ? `/${device}` : ""}`;
    }

    _deathPayload() {
        return Buffer.from(sparkplug.encodePayload({
            timestamp: Date.now(),
            metrics: [{ name: "bdSeq", type: "Int64", value: this.bdSeq }],
        }));
    }

    _ready(items) {
        this.devices.clear();
        const skipped = [];
        for (const item of items) {
            if (/[+#/]/.test(item.plc)) {
                skipped.push(item.id);
                continue;
            }
            if (!this.devices.has(item.plc)) this.devices.set(item.plc, { name: item.plc, items: [], alive: false, status: new Map() });
            this.devices.get(item.plc).items.push(item);
        }
        if (skipped.length) this.log(`not published (a PLC name with + # or / cannot be a device): ${skipped.join(", ")}`);
        for (const d of this.devices.values()) d.alive = answers(d.items);
        if (this.client) return this._births();
        const client = connectBroker(this.o, this._will(), this.log);
        this.client = client;
        client.on("connect", () => {
            client.subscribe([this._topic("NCMD"), `${this._topic("DCMD")}/+`], { qos: 0 });
            // The host's retained STATE comes on subscribing: no birth before it says online.
            if (this.stateTopic) {
                this.hostOnline = false;
                client.subscribe(this.stateTopic, { qos: 1 });
            }
            this._births();
        });
        // Every session has its own bdSeq: the next connection's will carries the next one.
        client.on("close", () => {
            this.born = false;
            this.forward.close();
            this.bdSeq = (this.bdSeq + 1) % 256;
            client.options.will = this._will();
        });
        client.on("message", (topic, payload, packet) => this._message(topic, payload, packet));
    }

    _will() {
        return { topic: this._topic("NDEATH"), payload: this._deathPayload(), qos: 1, retain: false };
    }

    // NDEATH (as the will would) and end the session; resolves once the broker has it.
    _leave() {
        const client = this.client;
        this.client = null;
        this.born = false;
        this.forward.close();
        if (!client) return Promise.resolve();
        return new Promise((resolve) => {
            const end = () => client.end(false, {}, resolve);
            if (client.connected) client.publish(this._topic("NDEATH"), this._deathPayload(), { qos: 1 }, end);
            else end();
        });
    }

    // The payload of a message of the session, with its seq.
    _payload(metrics) {
        const payload = { timestamp: Date.now(), metrics, seq: this.seq };
        this.seq = (this.seq + 1) % 256;
        return Buffer.from(sparkplug.encodePayload(payload));
    }

    _send(type, device, metrics) {
        if (!this.born || !this.client || !this.client.connected) return;
        this.client.publish(this._topic(type, device), this._payload(metrics), { qos: 0 });
    }

    // NBIRTH and a DBIRTH for each PLC that answers, when the broker and the host are there;
    // then the kept changes, and then live data.
    _births() {
        if (!this.client || !this.client.connected || !this.hostOnline) return;
        this.seq = 0;
        this.born = true;
        this._send("NBIRTH", null, [
            { name: "bdSeq", type: "Int64", value: this.bdSeq },
            { name: REBIRTH, type: "Boolean", value: false },
        ]);
        for (const d of this.devices.values()) {
            d.alive = this._answersNow(d);
            if (d.alive) this._birth(d);
        }
        this.forward.open(this.client, () => this._settleDevices());
    }

    _answersNow(d) {
        return answers(d.items) && !d.items.some((i) => i.quality === QUALITY.COMM_FAILURE);
    }

    // Live again after a replay: the deaths and births that happened meanwhile, and the PLCs'
    // status.
    _settleDevices() {
        for (const d of this.devices.values()) {
            const now = this._answersNow(d);
            if (now === d.alive) continue;
            if (now) {
                d.alive = true;
                this._birth(d);
            } else {
                this._send("DDEATH", d.name, []);
                d.alive = false;
            }
        }
        this._plcs([...this.source.plcStatus.keys()].map((plc) => ({ plc })));
    }

    // Historical DDATA for kept changes: consecutive changes of one PLC together.
    _replayed(changes) {
        const messages = [];
        let skipped = 0;
        let open = null; // {device, metrics, last, count}
        const flush = () => {
            if (!open) return;
            messages.push({ last: open.last, count: open.count, topic: this._topic("DDATA", open.device.name), payload: this._payload(open.metrics), options: {} });
            open = null;
        };
        for (const c of changes) {
            const item = this.source.items.get(c.item);
            const d = item && this.devices.get(item.plc);
            if (!d || !d.alive || !Source.fits(item, c.value)) {
                skipped++;
                continue;
            }
            if (open && (open.device !== d || open.metrics.length >= REPLAY_METRICS)) flush();
            if (!open) open = { device: d, metrics: [], last: 0, count: 0 };
            const metrics = itemMetrics({ ...item, value: c.value, quality: c.quality, ts: c.ts });
            for (const m of metrics) m.isHistorical = true;
            open.metrics.push(...metrics);
            open.last = c.seq;
            open.count++;
        }
        flush();
        return { messages, skipped };
    }

    _changes(items) {
        if (this.forward.take(items)) return;
        const byDevice = new Map();
        for (const item of items) {
            const d = this.devices.get(item.plc);
            if (!d) continue;
            if (!byDevice.has(d)) byDevice.set(d, []);
            byDevice.get(d).push(item);
        }
        for (const [d, changed] of byDevice) {
            if (changed.some((i) => i.quality === QUALITY.COMM_FAILURE)) {
                if (d.alive) this._send("DDEATH", d.name, []);
                d.alive = false;
            } else if (!d.alive) {
                if (!answers(d.items)) continue;
                d.alive = true;
                this._birth(d);
            } else {
                this._send("DDATA", d.name, changed.flatMap((i) => itemMetrics(i)));
            }
        }
    }

    // The primary host's STATE: births when it comes online, NDEATH and a new connection when
    // it goes offline. An older STATE than the last one is ignored.
    _hostState(payload) {
        const state = hostState(payload);
        if (!state) return this.log(`${this.stateTopic}: not a STATE message`);
        if (state.timestamp < this.hostTimestamp) return;
        this.hostTimestamp = state.timestamp;
        if (state.online === this.hostOnline) return;
        this.hostOnline = state.online;
        this.log(`the primary host ${this.o.primaryHost} is ${state.online ? "online" : "offline"}`);
        if (state.online) return this._births();
        this.forward.close();
        const client = this.client;
        if (!this.born || !client) return;
        this.born = false;
        client.publish(this._topic("NDEATH"), this._deathPayload(), { qos: 1 }, () =>
            client.end(false, {}, () => {
                if (this.client === client) client.reconnect();
            }));
    }

    async _message(topic, payload, packet) {
        if (topic === this.stateTopic) return this._hostState(payload);
        if (packet.retain) return; // an old command left on the broker
        const isNodeCommand = topic === this._topic("NCMD");
        // Refused commands are counted, never decoded or logged one by one.
        if (!isNodeCommand && !this.o.allowWrites) return this.ignored.count(topic);
        let metrics;
        try {
            metrics = sparkplug.decodePayload(payload).metrics || [];
        } catch (e) {
            this.log(`${topic}: not a Sparkplug B payload (${e.message})`);
            return;
        }
        if (isNodeCommand) {
            if (metrics.some((m) => m.name === REBIRTH && m.value === true)) this._births();
            return;
        }
        const device = this.devices.get(topic.slice(this._topic("DCMD").length + 1));
        if (!device) return this.log(`${topic}: no such device`);
        await this._write(device, metrics, topic);
    }

    // Writes the metrics of a DCMD: scalars as they are; elements of one array together, on
    // the array as the PLC has it now.
    async _write(device, metrics, topic) {
        const byName = new Map(device.items.map((i) => [i.name, i]));
        const arrays = new Map(); // item -> [[index, value]]
        for (const m of metrics) {
            const element = /^(.*)\[(\d+)\]$/.exec(m.name || "");
            const item = byName.get(element ? element[1] : m.name);
            if (!item || !!element !== isArrayType(item.vartype)) {
                this.log(`${topic}: no metric ${m.name}`);
                continue;
            }
            const value = plainValue(m);
            if (!element) {
                this._report(topic, m.name, await this.source.write(item, value));
                continue;
            }
            if (!arrays.has(item)) arrays.set(item, []);
            arrays.get(item).push([+element[2], value]);
        }
        for (const [item, elements] of arrays) {
            let value;
            try {
                value = await this.source.readDevice(item);
            } catch (e) {
                this._report(topic, item.name, { ok: false, error: `cannot read the array before writing it: ${e.message}` });
                continue;
            }
            const outside = elements.find(([k]) => k >= value.length);
            if (outside) {
                this._report(topic, `${item.name}[${outside[0]}]`, { ok: false, error: "no such element" });
                continue;
            }
            for (const [k, v] of elements) value[k] = v;
            this._report(topic, item.name, await this.source.write(item, value));
        }
    }

    _report(topic, name, result) {
        if (!result.ok) this.log(`${topic}: writing ${name} failed: ${result.error}`);
    }
}

module.exports = { SparkplugPublisher };
