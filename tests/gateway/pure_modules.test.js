"use strict";
// The gateways' modules that need no server: command lines, item selection, and the mapping of
// the door's types, qualities and results to OPC UA. One table each.
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
