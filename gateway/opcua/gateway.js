"use strict";
// The server's namespace as an OPC UA address space, kept in step with the door: one folder
// per PLC and branch, one Variable per item, a _Status object under each PLC. Values come from
// the door: a Variable whose value is older than a read's MaxAge asks the server's cache (the
// requests of one moment travel together), MaxAge 0 reads the device, monitored items put
// their item in a door group of its PLC at their sampling interval (one group per PLC, so that
// a group reports as soon as its PLC's blocks are read), and the group's data changes set the
// Variable's value, so the PLC is polled only while someone watches.
const { DataType, DataValue, StatusCodes, Variant, ReadValueId, AttributeIds, MonitoringMode, sameDataValue } = require("node-opcua");
const { uaTypeOf, variantOf, jsonOfVariant, dataValueOf, statusOfValue, statusOfFailure } = require("./values");
const { isReadable, isWritable } = require("../common/door-words");

const NAMESPACE_URI = "urn:molv:vorlask";
const STATUS_REFRESH_MS = 1000;
const RECONCILE_CHECK_MS = 1000;

// Every monitored item of a node listens on it: any number of clients may watch one node.
// (Past Node's default of ten, its warning formats the node, which throws in node-opcua and
// would end the gateway.)
function unlimitedListeners(variable) {
    variable.setMaxListeners(0);
    return variable;
}

// A Variable of a PLC's _Status: its value is set by the gateway alone.
function statusVariable(variable) {
    variable.$vorlaskStatus = true;
    return unlimitedListeners(variable);
}

// A watched Variable's change, as a monitored item served on change receives it. The door
// group of the item reports at most once an interval (the shortest its watchers asked for): an
// item watched at that interval records each change as it comes. Only an item watched at a
// longer interval than its group's folds the changes of each of its intervals into one
// (node-opcua's window, a timer a change), as an item sampled at that interval would see them;
// a window still open when the group's interval changes ends first, so that no older value
// follows a newer one.
function onDoorChange(dataValue, indexRange) {
    const entry = this.node && this.node.$vorlask;
    if (entry && entry.rate && Math.round(this.samplingInterval) <= entry.rate && !this._coalesceTimer)
        return this._on_value_changed(dataValue, indexRange);
    return Object.getPrototypeOf(this)._on_value_changed_exception_based.call(this, dataValue, indexRange);
}

// A door change of one of our Variables, as setValueFromSource sets it but without its copies
// of the value: the new DataValue replaces the Variable's (a DataValue once set is never
// changed, so the old one still holds the value before) and is handed as it is to the
// monitored items, each of which records a copy of its own. The value's type is the
// Variable's by construction, so node-opcua's check of it is left out too.
function setFromDoor(variable, variant, statusCode, date) {
    const old = variable.$dataValue;
    const dataValue = new DataValue(null);
    dataValue.value = variant;
    dataValue.statusCode = statusCode;
    dataValue.sourceTimestamp = date;
    dataValue.serverTimestamp = date;
    variable.$dataValue = dataValue;
    if (!sameDataValue(old, dataValue)) variable.emit("value_changed", dataValue);
}

class Gateway {
    constructor(door, addressSpace, log) {
        this.door = door;
        this.addressSpace = addressSpace;
        this.log = log;
        this.namespace = addressSpace.getNamespace(NAMESPACE_URI) || addressSpace.registerNamespace(NAMESPACE_URI);
        this.folders = new Map(); // branch path -> folder ("" is Objects)
        this.folders.set("", addressSpace.rootFolder.objects);
        this.items = new Map(); // item ID -> entry
        this.byIndex = []; // clientHandle -> entry
        this.plcStatus = new Map(); // PLC name -> {unit, port, lastResult, lastText}
        this.groups = new Map(); // "PLC|rate" -> Promise of the door group's handle
        this.groupMembers = new Map(); // door group handle -> {key, count} of the items in it
        this.parents = new Map(); // branch path -> its parent's path
        this.dirty = new Set(); // entries whose door group may have to change
        this.cacheBatch = null; // entries waiting for one door read from the cache
        this.reconciling = false;
        this.door.on("dataChange", (msg) => this._dataChange(msg));
        this.door.on("up", () => this._up().catch((e) => this.log(`the door: ${e.message}`)));
        this.door.on("down", () => this._down());
        this.statusTimer = setInterval(() => this._refreshPlcStatus(), STATUS_REFRESH_MS);
        this.checkTimer = setInterval(() => this._checkAll(), RECONCILE_CHECK_MS);
    }

    stop() {
        clearInterval(this.statusTimer);
        clearInterval(this.checkTimer);
    }

    // ---- the address space ----

    async _up() {
        const tree = await this.door.request("browse", { details: true });
        this._build(tree);
        for (const entry of this.items.values()) {
            entry.rate = 0;
            entry.handle = 0;
            if (entry.watchers.size) this.dirty.add(entry);
        }
        this.groups.clear();
        this.groupMembers.clear();
        await this._refreshPlcStatus();
        this._reconcileSoon();
    }

    _down() {
        this.groups.clear();
        this.groupMembers.clear();
        for (const entry of this.items.values()) {
            entry.rate = 0;
            entry.handle = 0;
            const old = entry.variable.$dataValue;
            entry.variable.setValueFromSource(old.value, StatusCodes.BadNoCommunication, old.sourceTimestamp || new Date());
        }
        for (const status of this.plcStatus.values()) this._setStatusNodes(status, null);
    }

    _build(tree) {
        const present = new Set();
        for (const b of tree.branches) {
            this.parents.set(b.branch, b.parent);
            if (this.folders.has(b.branch)) continue;
            const parent = this.folders.get(b.parent) || this.folders.get("");
            const folder = this.namespace.addFolder(parent, {
                browseName: b.name,
                displayName: b.name,
                nodeId: `s=${b.branch}`,
            });
            this.folders.set(b.branch, folder);
        }
        for (const it of tree.items) {
            present.add(it.item);
            if (this.items.has(it.item)) continue;
            const t = uaTypeOf(it.vartype);
            if (!t) {
                this.log(`item ${it.item}: type ${it.datatype} is not shown`);
                continue;
            }
            this._addVariable(it, t);
        }
        for (const [id, entry] of this.items)
            if (!present.has(id)) entry.variable.setValueFromSource(entry.variable.$dataValue.value, StatusCodes.BadNodeIdUnknown);
        this._addStatusObjects(tree.branches.filter((b) => b.parent === ""));
    }

    _addVariable(it, t) {
        const readable = isReadable(it.rights);
        const writable = isWritable(it.rights);
        const accessLevel = [readable ? "CurrentRead" : null, writable ? "CurrentWrite" : null].filter(Boolean).join(" | ");
        let plc = it.parent;
        while (this.parents.get(plc)) plc = this.parents.get(plc);
        const entry = { id: it.item, plc, t, index: this.byIndex.length, rate: 0, handle: 0, watchers: new Set(), variable: null };
        this.items.set(it.item, entry);
        this.byIndex.push(entry);
        const variable = this.namespace.addVariable({
            organizedBy: this.folders.get(it.parent) || this.folders.get(""),
            browseName: it.name,
            displayName: it.name,
            description: it.description || undefined,
            nodeId: `s=${it.item}`,
            dataType: t.dataType,
            valueRank: t.isArray ? 1 : -1,
            arrayDimensions: t.isArray ? [0] : undefined,
            accessLevel,
            userAccessLevel: accessLevel,
            // Values arrive as changes from the server's own polling: monitored items are
            // served on change, never by sampling the node.
            minimumSamplingInterval: 0,
        });
        variable.bindVariable({
            timestamped_get: () => this._cacheRead(entry),
            timestamped_set: (dataValue) => this._write(entry, dataValue.value),
        });
        entry.variable = variable;
        variable.$vorlask = entry;
        unlimitedListeners(variable);
    }

    _addStatusObjects(plcFolders) {
        for (const b of plcFolders) {
            if (this.plcStatus.has(b.branch)) continue;
            const folder = this.folders.get(b.branch);
            const obj = this.namespace.addObject({
                organizedBy: folder,
                browseName: "_Status",
                nodeId: `s=${b.branch}._Status`,
                description: "The PLC's unit number, its port, the last result of its reads, and its mode, model and errors",
            });
            const add = (name, dataType, description) =>
                statusVariable(this.namespace.addVariable({
                    componentOf: obj,
                    browseName: name,
                    nodeId: `s=${b.branch}._Status.${name}`,
                    dataType,
                    description,
                    accessLevel: "CurrentRead",
                    userAccessLevel: "CurrentRead",
                    minimumSamplingInterval: 0,
                }));
            this.plcStatus.set(b.branch, {
                unit: add("UnitNumber", DataType.Byte, "Host Link unit number"),
                port: add("Port", DataType.String, "Serial port"),
                lastResult: add("LastResult", DataType.UInt32, "Result of the last cyclic read (0: good)"),
                lastText: add("LastResultText", DataType.String, "Text of the last result"),
                mode: add("Mode", DataType.String, "RUN, MONITOR or PROGRAM, as the PLC reports it"),
                model: add("Model", DataType.String, "The PLC's model, as it reports it"),
                fatal: add("Fatal", DataType.Boolean, "The PLC has stopped on a fatal error"),
                fals: add("Fals", DataType.Boolean, "A FALS instruction has stopped the PLC"),
                message: add("Message", DataType.String, "The PLC's FAL/FALS message"),
            });
        }
    }

    _setStatusNodes(status, plc) {
        const set = (variable, dataType, value) =>
            plc
                ? variable.setValueFromSource(new Variant({ dataType, value }), StatusCodes.Good)
                : variable.setValueFromSource(variable.$dataValue.value, StatusCodes.BadNoCommunication);
        set(status.unit, DataType.Byte, plc && plc.unit);
        set(status.port, DataType.String, plc && plc.port);
        set(status.lastResult, DataType.UInt32, plc && plc.lastResult);
        set(status.lastText, DataType.String, plc && plc.lastText);
        // Mode and model are unknown until the PLC has told them (or when it does not say).
        const known = (variable, dataType, value) =>
            plc && value === null
                ? variable.setValueFromSource(new Variant({ dataType, value: "" }), StatusCodes.BadWaitingForInitialData)
                : set(variable, dataType, value);
        known(status.mode, DataType.String, plc && plc.mode);
        known(status.model, DataType.String, plc && plc.model);
        set(status.fatal, DataType.Boolean, plc && plc.fatal);
        set(status.fals, DataType.Boolean, plc && plc.fals);
        set(status.message, DataType.String, plc && plc.message);
    }

    async _refreshPlcStatus() {
        if (!this.door.connected) return;
        try {
            const reply = await this.door.request("plcs");
            for (const plc of reply.plcs) {
                const status = this.plcStatus.get(plc.plc);
                if (status) this._setStatusNodes(status, plc);
            }
        } catch {
            // the door went away; "down" marks the nodes
        }
    }

    // ---- reads and writes ----

    // The value of an entry from the server's cache. A watched entry's value is the cache's,
    // kept by the door group's data changes (monitored items sample it at their interval);
    // others are read from the door, those asked for in the same moment with one request.
    _cacheRead(entry) {
        if (!this.door.connected) return this._noCommunication(entry);
        if (entry.handle && entry.variable) return entry.variable.$dataValue;
        if (!this.cacheBatch) {
            const batch = new Map();
            this.cacheBatch = batch;
            setImmediate(() => {
                this.cacheBatch = null;
                const entries = [...batch.keys()];
                this._readBatch(entries, "cache").then((values) => {
                    values.forEach((d, i) => batch.get(entries[i]).forEach((resolve) => resolve(d)));
                });
            });
        }
        return new Promise((resolve) => {
            const waiting = this.cacheBatch.get(entry) || [];
            waiting.push(resolve);
            this.cacheBatch.set(entry, waiting);
        });
    }

    // The entry's last value, marked as not reaching the server.
    _noCommunication(entry) {
        const old = entry.variable ? entry.variable.$dataValue : null;
        return new DataValue({
            value: old ? old.value : variantOf(entry.t, null),
            statusCode: StatusCodes.BadNoCommunication,
            sourceTimestamp: old ? old.sourceTimestamp : null,
            serverTimestamp: new Date(),
        });
    }

    // DataValues of the entries read from the door (cache or device), in their order;
    // BadNoCommunication for all when the door is gone.
    async _readBatch(entries, source) {
        try {
            const reply = await this.door.request("read", { items: entries.map((e) => e.id), source });
            return reply.values.map((slot, i) => new DataValue({ ...dataValueOf(entries[i].t, slot), serverTimestamp: new Date() }));
        } catch {
            return entries.map((e) => this._noCommunication(e));
        }
    }

    // Reads the Variables among nodesToRead from the device when maxAge is 0, with one door
    // request; other reads are left to the cache rule above.
    async refresh(nodesToRead, maxAge) {
        if (maxAge !== 0) return;
        const entries = [];
        for (const n of nodesToRead) {
            if (!(n instanceof ReadValueId) || n.attributeId !== AttributeIds.Value) continue;
            const node = this.addressSpace.findNode(n.nodeId);
            const entry = node && node.$vorlask;
            if (entry && !entries.includes(entry)) entries.push(entry);
        }
        if (entries.length === 0 || !this.door.connected) return;
        const readable = entries.filter((e) => e.variable.accessLevel & 1);
        if (readable.length === 0) return;
        const values = await this._readBatch(readable, "device");
        values.forEach((d, i) => this._set(readable[i], d));
    }

    _set(entry, d) {
        entry.variable.setValueFromSource(d.value, d.statusCode, d.sourceTimestamp || new Date());
    }

    async _write(entry, variant) {
        if (!this.door.connected) return StatusCodes.BadNoCommunication;
        let reply;
        try {
            reply = await this.door.request("write", { items: [{ item: entry.id, value: jsonOfVariant(variant) }] });
        } catch (e) {
            return this.door.connected ? statusOfFailure(e.reply || {}) : StatusCodes.BadNoCommunication;
        }
        const r = reply.results[0];
        return r.ok ? StatusCodes.Good : statusOfFailure(r);
    }

    // ---- monitored items ----

    watch(monitoredItem) {
        const node = monitoredItem.node;
        if (!node || !(node.$vorlask || node.$vorlaskStatus) || monitoredItem.itemToMonitor.attributeId !== AttributeIds.Value) return;
        // Our values change only when the door reports a change, at the interval asked for,
        // and a PLC's status only when the gateway sets it: the item is served on change
        // rather than by a timer of its own that samples an unchanged value.
        if (monitoredItem._exceptionBased === false) {
            monitoredItem._exceptionBased = true;
            monitoredItem._on_value_changed_exception_based = onDoorChange;
        }
        const entry = node.$vorlask;
        if (!entry) return;
        entry.watchers.add(monitoredItem);
        this.dirty.add(entry);
        this._reconcileSoon();
    }

    unwatch(monitoredItem) {
        const entry = monitoredItem.node && monitoredItem.node.$vorlask;
        if (!entry || !entry.watchers.delete(monitoredItem)) return;
        this.dirty.add(entry);
        this._reconcileSoon();
    }

    // Sampling intervals and monitoring modes change without notice: look at every watched
    // item now and then.
    _checkAll() {
        for (const entry of this.items.values())
            if (entry.watchers.size || entry.rate) {
                if (this._wantedRate(entry) !== entry.rate) this.dirty.add(entry);
            }
        if (this.dirty.size) this._reconcileSoon();
    }

    _wantedRate(entry) {
        let rate = 0;
        for (const mi of entry.watchers) {
            if (mi.monitoringMode === MonitoringMode.Disabled) continue;
            const interval = Math.max(1, Math.round(mi.samplingInterval));
            if (!rate || interval < rate) rate = interval;
        }
        return rate;
    }

    _reconcileSoon() {
        if (this.reconciling) return;
        this.reconciling = true;
        setImmediate(() =>
            this._reconcile()
                .catch((e) => this.log(`monitored items: ${e.message}`))
                .finally(() => {
                    this.reconciling = false;
                    if (this.dirty.size && this.door.connected) this._reconcileSoon();
                }),
        );
    }

    async _group(plc, rate) {
        const key = `${plc}|${rate}`;
        let g = this.groups.get(key);
        if (!g) {
            g = this.door.request("addGroup", { rate, active: true }).then((r) => r.group);
            this.groups.set(key, g);
        }
        return g;
    }

    // A group with no items left goes, so that intervals that come and go leave nothing behind
    // in the server.
    async _dropGroupIfEmpty(group) {
        const members = this.groupMembers.get(group);
        if (!members || members.count > 0) return;
        this.groupMembers.delete(group);
        this.groups.delete(members.key);
        await this.door.request("removeGroup", { group });
    }

    // Moves each dirty entry to the door group of the rate it is watched at (none: out).
    async _reconcile() {
        if (!this.door.connected) return;
        const work = [...this.dirty];
        this.dirty.clear();
        const removals = new Map(); // group -> entries
        const additions = new Map(); // "PLC|rate" -> entries
        for (const entry of work) {
            const want = this._wantedRate(entry);
            if (want === entry.rate && (want === 0 || entry.handle)) continue;
            if (entry.handle) {
                if (!removals.has(entry.group)) removals.set(entry.group, []);
                removals.get(entry.group).push(entry);
            }
            if (want) {
                const key = `${entry.plc}|${want}`;
                if (!additions.has(key)) additions.set(key, { plc: entry.plc, rate: want, entries: [] });
                additions.get(key).entries.push(entry);
            } else {
                entry.rate = 0;
            }
        }
        for (const [group, entries] of removals) {
            await this.door.request("removeItems", { group, handles: entries.map((e) => e.handle) });
            for (const e of entries) {
                e.handle = 0;
                e.rate = 0;
            }
            const members = this.groupMembers.get(group);
            if (members) members.count -= entries.length;
            await this._dropGroupIfEmpty(group);
        }
        for (const { plc, rate, entries } of additions.values()) {
            const group = await this._group(plc, rate);
            if (!this.groupMembers.has(group)) this.groupMembers.set(group, { key: `${plc}|${rate}`, count: 0 });
            const reply = await this.door.request("addItems", {
                group,
                items: entries.map((e) => ({ item: e.id, clientHandle: e.index })),
            });
            reply.items.forEach((r, i) => {
                const e = entries[i];
                if (r.handle) {
                    e.handle = r.handle;
                    e.group = group;
                    e.rate = rate;
                    this.groupMembers.get(group).count++;
                } else {
                    e.variable.setValueFromSource(e.variable.$dataValue.value, StatusCodes.BadNodeIdUnknown);
                }
            });
            await this._dropGroupIfEmpty(group);
        }
    }

    // The items of one block read share their time stamp, and so one Date (node-opcua never
    // changes a value's Date, and its own copies of a value share theirs).
    _dataChange(msg) {
        let stamp = null;
        let date = null;
        for (const ch of msg.items) {
            const entry = this.byIndex[ch.clientHandle];
            if (!entry || entry.group !== msg.group) continue;
            if (!date || ch.timestamp !== stamp) {
                stamp = ch.timestamp;
                date = stamp ? new Date(stamp) : new Date();
            }
            setFromDoor(entry.variable, variantOf(entry.t, ch.value), statusOfValue(ch), date);
        }
    }
}

module.exports = { Gateway, NAMESPACE_URI };
