"use strict";
// The gateways' modules that need no server: command lines, item selection, the mapping of the
// door's types, qualities and results to OPC UA, its time stamps' encoding, what the MQTT
// formats make of items and messages, and the MQTT buffer. One table each.
const test = require("node:test");
const assert = require("node:assert");
const path = require("node:path");
const { SRC } = require("./harness");

const gateway = (file) => require(path.join(SRC, "gateway", file));

test("command lines: what each gateway takes and what it refuses", () => {
    const opcua = gateway("opcua/options").parseOptions;
    const mqtt = gateway("mqtt/options").parseOptions;
    const web = gateway("web/options").parseOptions;
    const users = ["--users", "/etc/vorlask/users"];
    // [parse, argv, expected: a pattern of the error, or an object the options contain]
    const rows = [
        [opcua, [], { host: "127.0.0.1", port: 4840, security: ["none"] }],
        [opcua, ["--port", "0"], /no port number/],
        [opcua, ["--host", "0.0.0.0"], /without security/],
        [opcua, ["--host", "0.0.0.0", "--security", "sign"], /without user names/],
        [opcua, ["--host", "0.0.0.0", "--security", "Sign,signandencrypt", ...users], { security: ["sign", "signandencrypt"] }],
        [opcua, [...users], /none only/],
        [opcua, ["--max-sessions", "0"], /count from 1/],
        [mqtt, [], /--broker URL is needed/],
        [mqtt, ["--broker", "mqtt://u:p@host"], /no user or password in the URL/],
        [mqtt, ["--broker", "mqtt://h", "--node", "a/b"], /cannot be a topic level/],
        [mqtt, ["--broker", "mqtt://h", "--password-file", "f"], /needs --user/],
        [mqtt, ["--broker", "mqtt://h", "--ca", "ca.pem"], /--ca is for TLS/],
        [mqtt, ["--broker", "mqtt://10.1.1.1", "--user", "u"], { warning: /travels in plaintext/ }],
        [mqtt, ["--broker", "mqtt://[::1]:1883", "--user", "u"], { warning: undefined }],
        [mqtt, ["--broker", "mqtts://h:8883", "--format", "sparkplug", "--rate", "250"], { format: "sparkplug", rate: 250 }],
        [mqtt, ["--broker", "mqtt://h"], { bufferMb: 256, replayRate: 5000, primaryHost: null, bufferDir: /vorlask\/mqtt$/ }],
        [mqtt, ["--broker", "mqtt://h", "--buffer-mb", "0"], /from 1 to/],
        [mqtt, ["--broker", "mqtt://h", "--replay-rate", "5"], /from 10 to/],
        [mqtt, ["--broker", "mqtt://h", "--primary-host", "scada"], /is for --format sparkplug/],
        [mqtt, ["--broker", "mqtt://h", "--format", "sparkplug", "--primary-host", "a/b"], /cannot be a topic level/],
        [mqtt, ["--broker", "mqtt://h", "--format", "sparkplug", "--primary-host", "scada", "--buffer-dir", "/b"], { primaryHost: "scada", bufferDir: "/b" }],
        [web, [], { host: "127.0.0.1", port: 8080, loopback: true, allowWrites: false }],
        [web, ["--port", "0"], { port: 0 }],
        [web, ["--host", "0.0.0.0", ...users], /without TLS/],
        [web, ["--host", "::", "--tls-cert", "c", "--tls-key", "k", ...users], { loopback: false }],
        [web, ["--tls-key", "k"], /go together/],
        [web, ["--allow-writes"], { warning: /no one can write/ }],
        [web, ["--rate", "10"], /50 to 3600000/],
        [web, ["--users"], /needs a value/],
    ];
    for (const [parse, argv, expected] of rows) {
        const r = parse(argv);
        const what = `${argv.join(" ") || "(nothing)"} -> ${JSON.stringify(r)}`;
        if (expected instanceof RegExp) assert.match(r.error || "", expected, what);
        else
            for (const [k, v] of Object.entries(expected)) {
                if (v instanceof RegExp) assert.match(r.options[k], v, what);
                else assert.deepEqual(r.options[k], v, what);
            }
    }
});

test("--items: item IDs, branches and globs", () => {
    const { itemSelector } = gateway("mqtt/options");
    const ids = ["Press.Setpoint", "Press.Recipe.Name", "Pressure.Max", "Oven.Temp1", "Oven.Temp12"];
    const rows = [
        [[], ids],
        [["Press"], ["Press.Setpoint", "Press.Recipe.Name"]],
        [["Press.Recipe.Name", "Oven"], ["Press.Recipe.Name", "Oven.Temp1", "Oven.Temp12"]],
        [["*.Temp?"], ["Oven.Temp1"]],
        [["Press*"], ["Press.Setpoint", "Press.Recipe.Name", "Pressure.Max"]],
        [["Press.(x)"], []],
    ];
    for (const [patterns, expected] of rows) assert.deepEqual(ids.filter(itemSelector(patterns)), expected, patterns.join(" "));
});

test("OPC UA: the door's types, qualities and failures", () => {
    const { DataType, StatusCodes } = require(path.join(SRC, "gateway/opcua/node_modules/node-opcua"));
    const { uaTypeOf, statusOfQuality, statusOfFailure, dataValueOf } = gateway("opcua/values");
    const { RESULT } = gateway("common/door-words");
    for (const [vartype, expected] of [[2, { dataType: DataType.Int16, isArray: false }], [0x2000 | 11, { dataType: DataType.Boolean, isArray: true }],
        [8, { dataType: DataType.String, isArray: false }], [0x2000 | 4, { dataType: DataType.Float, isArray: true }], [14, null]])
        assert.deepEqual(uaTypeOf(vartype), expected, `vartype ${vartype}`);
    for (const [quality, status] of [[0xc0, "Good"], [0xd8, "Good"], [0x0c, "BadDeviceFailure"], [0x18, "BadCommunicationError"],
        [0x1c, "BadOutOfService"], [0x00, "Bad"], [0x44, "Uncertain"], [0x04, "Bad"]])
        assert.equal(statusOfQuality(quality), StatusCodes[status], `quality ${quality}`);
    const failures = [
        [{ code: RESULT.OPC_E_BADRIGHTS }, "BadNotWritable"], [{ code: RESULT.OPC_E_BADTYPE }, "BadTypeMismatch"],
        [{ code: RESULT.OPC_E_RANGE }, "BadOutOfRange"], [{ code: RESULT.OPC_E_UNKNOWNITEMID }, "BadNodeIdUnknown"],
        [{ code: RESULT.E_TIMEOUT }, "BadTimeout"], [{ code: RESULT.E_FAIL, plcResult: 70 }, "BadInvalidState"],
        [{ code: RESULT.E_FAIL, quality: 0x0c }, "BadDeviceFailure"], [{ code: RESULT.E_FAIL }, "BadCommunicationError"],
    ];
    for (const [result, status] of failures) assert.equal(statusOfFailure(result), StatusCodes[status], JSON.stringify(result));
    // An item never read has no value yet: uncertain, not good.
    assert.equal(dataValueOf(uaTypeOf(2), { value: null, quality: 0xc0, timestamp: 0 }).statusCode, StatusCodes.UncertainInitialValue);
    assert.equal(dataValueOf(uaTypeOf(2), { error: "no such item" }).statusCode, StatusCodes.BadNodeIdUnknown);
});

test("OPC UA: time stamps encode to the same 100 ns ticks as node-opcua's own encoder", () => {
    const { ticksSince1601 } = gateway("opcua/datetime-encoding");
    const own = require(require.resolve("node-opcua-date-time/dist/date_time.js", { paths: [path.join(SRC, "gateway/opcua")] }))
        .bn_dateToHundredNanoSecondFrom1601;
    const dates = [0, Date.UTC(1601, 0, 1), Date.UTC(1600, 11, 31, 23, 59, 59, 999), Date.UTC(2026, 11, 9, 15, 35, 21, 424),
        Date.UTC(2106, 1, 7, 6, 28, 16), Date.UTC(9999, 11, 31, 23, 59, 59, 999), Date.UTC(30000, 0, 1), 8.64e15, -8.64e15, NaN];
    // where the low half carries into the high one, and a spread of times since 1970
    for (let k = 1; k < 200; k++) dates.push(Math.floor((k * 4294967296) / 10000) - 11644473600000, k * 2.1e10 + (k % 7));
    for (const t of dates)
        for (const ps of [undefined, 0, 99999, 100000, 999900000, -5, NaN, 1e15])
            assert.deepEqual(ticksSince1601(own, new Date(t), ps), own(new Date(t), ps), `${t} ms, ${ps} ps`);
});

test("MQTT JSON: topics of item IDs, set subscriptions, set requests", () => {
    const { itemTopic, setFilters, parseSetRequest } = gateway("mqtt/json-topics");
    const topics = [["Press.Setpoint", "r/n/Press/Setpoint"], ["Top", "r/n/Top"], ["A.B+C", null], ["A#", null]];
    for (const [id, topic] of topics) assert.equal(itemTopic("r/n", id), topic, id);
    assert.deepEqual(setFilters("r/n", ["r/n/A/B", "r/n/C", "r/n/D/E"]).sort(), ["r/n/+/+/set", "r/n/+/set"]);
    const requests = [
        ['{"value": 5}', { value: 5 }],
        ['{"value": null}', { value: null }],
        ['{"value": [1, 2]}', { value: [1, 2] }],
        ["[5]", /is not/],
        ["5", /is not/],
        ['{"v": 5}', /is not/],
        ["not json", /is not/],
    ];
    for (const [payload, expected] of requests) {
        const r = parseSetRequest(Buffer.from(payload));
        if (expected instanceof RegExp) assert.match(r.error, expected, payload);
        else assert.deepEqual(r, expected, payload);
    }
});

test("MQTT Sparkplug: an item's metrics, a PLC's status, command values, the host's STATE", () => {
    const { itemMetrics, statusMetrics, plainValue, hostState } = gateway("mqtt/sparkplug-metrics");
    const metric = (m) => [m.name, m.type, m.value, m.properties.Quality.value];
    const items = [
        [{ name: "Setpoint", vartype: 2, value: -5, quality: 192, ts: 7 }, [["Setpoint", "Int16", -5, 192]]],
        [{ name: "Temp", vartype: 4, value: 1.5, quality: 24, ts: 7 }, [["Temp", "Float", 1.5, 24]]],
        [{ name: "Name", vartype: 8, value: "ab", quality: 192, ts: 7 }, [["Name", "String", "ab", 192]]],
        [{ name: "S", vartype: 0x2000 | 18, value: [1, 2], elements: 3, quality: 192, ts: 7 },
            [["S[0]", "UInt16", 1, 192], ["S[1]", "UInt16", 2, 192], ["S[2]", "UInt16", null, 192]]],
        [{ name: "F", vartype: 0x2000 | 11, value: null, elements: 1, quality: 24, ts: 7 }, [["F[0]", "Boolean", null, 24]]],
    ];
    for (const [item, expected] of items) {
        const metrics = itemMetrics(item);
        assert.deepEqual(metrics.map(metric), expected, item.name);
        assert.ok(metrics.every((m) => m.timestamp === 7), "the value's own time stamp");
    }
    assert.deepEqual(statusMetrics(null), []);
    assert.deepEqual(statusMetrics({ mode: null, model: "C200H", fatal: 1, fals: false, message: null }).map((m) => m.value),
        ["", "C200H", true, false, ""]);
    const long = { toNumber: () => 2 ** 40 };
    const values = [[{ type: "UInt32", value: -1 }, 2 ** 32 - 1], [{ type: "Int64", value: long }, 2 ** 40], [{ type: "Int16", value: -1 }, -1]];
    for (const [m, v] of values) assert.equal(plainValue(m), v, m.type);
    const states = [
        ['{"online": true, "timestamp": 5}', { online: true, timestamp: 5 }],
        ['{"online": false}', { online: false, timestamp: 0 }],
        ["OFFLINE", { online: false, timestamp: 0 }],
        ['{"online": "yes"}', null],
        ["garbage", null],
    ];
    for (const [payload, expected] of states) assert.deepEqual(hostState(Buffer.from(payload)), expected, payload);
});

test("the MQTT buffer: order kept over a reopening, the oldest dropped past its bound, one publisher at a time", (t) => {
    const { ChangeQueue } = gateway("mqtt/change-queue");
    const dir = require("node:fs").mkdtempSync(path.join(require("node:os").tmpdir(), "vorlask-queue-"));
    t.after(() => require("node:fs").rmSync(dir, { recursive: true, force: true }));
    let q = new ChangeQueue(dir, "json-n", 1048576);
    q.append([1, 2, 3].map((v) => ({ item: "P.A", value: v, quality: 192, ts: v })));
    assert.throws(() => new ChangeQueue(dir, "json-n", 1048576), /another publisher is using it/);
    q.close();
    q = new ChangeQueue(dir, "json-n", 1048576);
    assert.deepEqual(q.after(0, 10).map((c) => c.value), [1, 2, 3]);
    q.remove(q.after(0, 1)[0].seq);
    const big = "x".repeat(1000);
    const dropped = q.append(Array.from({ length: 2000 }, (_, k) => ({ item: "P.S", value: `${k}${big}`, quality: 192, ts: k })));
    assert.ok(dropped > 2 && q.usedBytes() <= 1048576, `${dropped} dropped, ${q.usedBytes()} bytes`);
    const left = q.after(0, 5000).map((c) => parseInt(c.value, 10));
    assert.equal(left.length, q.length);
    assert.equal(left[0], dropped - 2, "the oldest went first");
    left.forEach((k, i) => assert.equal(k, left[0] + i));
    q.close();
});
