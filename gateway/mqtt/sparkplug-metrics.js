"use strict";
// What the Sparkplug B format makes of the items and the PLCs' status, and what it reads from
// commands and the primary host's STATE: plain functions, without the broker.
const { isArrayType, elementType, isGood } = require("../common/door-words");
const { Source } = require("./source");

// Element VARTYPE -> Sparkplug data type.
const TYPES = new Map([
    [11, "Boolean"], [16, "Int8"], [17, "UInt8"], [2, "Int16"], [18, "UInt16"],
    [3, "Int32"], [19, "UInt32"], [4, "Float"], [5, "Double"], [8, "String"],
]);

// A PLC is born once each of its readable items has been read (or failed) and one of them
// answered: its DBIRTH then carries every value.
function answers(items) {
    return items.every((i) => Source.known(i)) && items.some((i) => i.readable && i.value !== null && isGood(i.quality));
}

// The metrics of an item: one, or one per element of an array (as many as the array has, or
// as its configured count when more), each with its time stamp and a Quality property.
function itemMetrics(item) {
    const type = TYPES.get(elementType(item.vartype)) || "String";
    const timestamp = item.ts || Date.now();
    const properties = { Quality: { type: "Int32", value: item.quality } };
    if (!isArrayType(item.vartype)) return [{ name: item.name, type, value: item.value, timestamp, properties }];
    const values = Array.isArray(item.value) ? item.value : [];
    const count = Math.max(values.length, item.elements || 0);
    const metrics = [];
    for (let k = 0; k < count; k++)
        metrics.push({ name: `${item.name}[${k}]`, type, value: k < values.length ? values[k] : null, timestamp, properties });
    return metrics;
}

// A PLC's own status (null: not known) as device metrics _Status/Mode, Model, Fatal, Fals and
// Message.
function statusMetrics(s) {
    if (!s) return [];
    return [
        { name: "_Status/Mode", type: "String", value: s.mode === null ? "" : s.mode },
        { name: "_Status/Model", type: "String", value: s.model === null ? "" : s.model },
        { name: "_Status/Fatal", type: "Boolean", value: !!s.fatal },
        { name: "_Status/Fals", type: "Boolean", value: !!s.fals },
        { name: "_Status/Message", type: "String", value: s.message || "" },
    ];
}

// A metric's value as a plain JSON value: 64-bit integers arrive as Long objects, and the
// codec gives a UInt32 above 2^31 as negative.
function plainValue(m) {
    let v = m.value;
    if (v && typeof v === "object" && typeof v.toNumber === "function") v = v.toNumber();
    if (m.type === "UInt32" && typeof v === "number" && v < 0) v += 2 ** 32;
    return v;
}

// Whether a STATE payload says the host is online, and its time stamp: the JSON of Sparkplug
// B 3.0 ({"online": true, "timestamp": ms}) or the older "ONLINE"/"OFFLINE"; null when it is
// neither.
function hostState(payload) {
    const text = payload.toString("utf8");
    if (text === "ONLINE" || text === "OFFLINE") return { online: text === "ONLINE", timestamp: 0 };
    let state;
    try {
        state = JSON.parse(text);
    } catch {
        return null;
    }
    if (!state || typeof state.online !== "boolean") return null;
    return { online: state.online, timestamp: Number.isFinite(state.timestamp) ? state.timestamp : 0 };
}

module.exports = { answers, itemMetrics, statusMetrics, plainValue, hostState };
