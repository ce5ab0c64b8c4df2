"use strict";
// The door's group ops against the real server and the demo's simulated PLCs, one table: each
// row sends a request (built from what earlier rows answered) and checks its reply.
const test = require("node:test");
const assert = require("node:assert");
const path = require("node:path");
const { demoWorld, waitFor, SRC } = require("../gateway/harness");
const { DoorClient } = require(path.join(SRC, "gateway/common/door-client"));
const { RESULT } = require(path.join(SRC, "gateway/common/door-words"));

test("group ops: add, set, activate, read, write, remove, and their refusals", async (t) => {
    const world = await demoWorld();
    t.after(() => world.stop());
    const door = new DoorClient(world.socket);
    t.after(() => door.stop());
    const events = [];
    door.on("dataChange", (e) => events.push(e));
    door.start();
    await waitFor("the door", () => door.connected);

    const s = {}; // what the rows learn: group, handles
    const ask = (op, fields) => door.request(op, fields).catch((e) => e.reply);
    const rows = [
        ["addGroup", () => ({ name: "t", rate: 200, active: false }), (r) => {
            assert.ok(r.group > 0 && r.rate === 200 && r.name === "t");
            s.group = r.group;
        }],
        ["addItems", () => ({ group: s.group, items: ["Press.Setpoint", { item: "Press.Counter", clientHandle: 7 }, "No.Such"] }), (r) => {
            assert.deepEqual(r.items.map((i) => [i.item, i.datatype, i.access]).slice(0, 2), [["Press.Setpoint", "VT_I2", "READWRITE"], ["Press.Counter", "VT_UI2", "READ"]]);
            assert.equal(r.items[2].code, RESULT.OPC_E_UNKNOWNITEMID);
            s.setpoint = r.items[0].handle;
            s.counter = r.items[1].handle;
        }],
        ["setGroup", () => ({ group: s.group, rate: 300, active: true }), async (r) => {
            assert.deepEqual([r.ok, r.rate, r.active], [true, 300, true]);
            // Active now: the counter (active, client handle 7) reports its value.
            const counter = await waitFor("the counter's report", () => events.flatMap((e) => e.items).find((i) => i.clientHandle === 7));
            assert.deepEqual([counter.item, counter.handle, counter.quality], ["Press.Counter", s.counter, 192]);
        }],
        ["setItemsActive", () => ({ group: s.group, handles: [s.setpoint, 999999], active: false }), (r) => {
            assert.equal(r.results[0].ok, true);
            assert.equal(r.results[1].code, RESULT.OPC_E_INVALIDHANDLE);
        }],
        ["read", () => ({ group: s.group, handles: [s.setpoint, 999999], source: "device" }), (r) => {
            assert.deepEqual([r.values[0].handle, r.values[0].value, r.values[0].quality], [s.setpoint, 500, 192]);
            assert.equal(r.values[1].code, RESULT.OPC_E_INVALIDHANDLE);
        }],
        ["write", () => ({ group: s.group, handles: [s.setpoint], values: [321] }), (r) => assert.equal(r.results[0].ok, true)],
        ["read", () => ({ items: ["Press.Setpoint"], source: "device" }), (r) => assert.equal(r.values[0].value, 321)],
        ["write", () => ({ group: s.group, handles: [s.counter], values: [1] }), (r) => assert.equal(r.results[0].code, RESULT.OPC_E_BADRIGHTS)],
        ["removeItems", () => ({ group: s.group, handles: [s.setpoint, s.setpoint] }), (r) => {
            assert.equal(r.results[0].ok, true);
            assert.equal(r.results[1].code, RESULT.OPC_E_INVALIDHANDLE, "a handle removed is gone");
        }],
        ["setGroup", () => ({ group: 999999, rate: 100 }), (r) => assert.equal(r.ok, false)],
        ["removeGroup", () => ({ group: s.group }), (r) => assert.equal(r.ok, true)],
        ["removeGroup", () => ({ group: s.group }), (r) => assert.equal(r.ok, false, "a group removed is gone")],
    ];
    for (const [op, fields, check] of rows) {
        const request = fields();
        const reply = await ask(op, request);
        try {
            await check(reply);
        } catch (e) {
            e.message = `${op} ${JSON.stringify(request)} -> ${JSON.stringify(reply)}: ${e.message}`;
            throw e;
        }
    }
});
