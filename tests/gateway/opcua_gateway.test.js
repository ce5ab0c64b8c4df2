"use strict";
// The OPC UA gateway against the real server and simulated PLCs, through node-opcua's client.
const test = require("node:test");
const assert = require("node:assert/strict");
const path = require("node:path");
const { demoWorld, waitFor, opcuaSession, ua } = require("./harness");
const { AttributeIds, DataType, TimestampsToReturn, AccessLevelFlag, NodeClass, VariantArrayType } = ua;

const CACHE = 60000; // a MaxAge that reads from the server's cache

async function subscribe(c, items, samplingInterval) {
    const sub = await c.session.createSubscription2({
        requestedPublishingInterval: samplingInterval,
        requestedMaxKeepAliveCount: 20,
        requestedLifetimeCount: 200,
        publishingEnabled: true,
    });
    const seen = new Map(items.map((i) => [i, []]));
    const group = await sub.monitorItems(
        items.map((item) => ({ nodeId: c.id(item), attributeId: AttributeIds.Value })),
        { samplingInterval, queueSize: 100 },
        TimestampsToReturn.Both,
    );
    group.on("changed", (_mi, dv, index) => seen.get(items[index]).push(dv));
    return { sub, seen, group };
}

test("the address space, reads and writes on the demo configuration", async (t) => {
    const world = await demoWorld();
    t.after(() => world.stop());
    const c = await opcuaSession(await world.gateway());
    t.after(() => c.close());

    await t.test("browse from Objects down to the items, with every attribute", async () => {
        const objects = await c.session.browse("ns=0;i=85");
        const names = objects.references.map((r) => r.browseName.name);
        for (const plc of ["Press", "Oven", "Packer"]) assert.ok(names.includes(plc), `${plc} under Objects`);
        const press = await c.session.browse(c.id("Press"));
        assert.deepEqual(press.references.map((r) => r.browseName.name).sort(), ["Counter", "Recipe", "Setpoint", "Sine", "Status", "_Status"]);

        const R = AccessLevelFlag.CurrentRead, W = AccessLevelFlag.CurrentWrite;
        const cases = [
            // item, DataType, ValueRank, access, description
            ["Press.Counter", DataType.UInt16, -1, R, "Parts counter, counts up every half second"],
            ["Press.Setpoint", DataType.Int16, -1, R | W, "Pressure set point"],
            ["Press.Status.Running", DataType.Boolean, -1, R, "Machine running (toggles)"],
            ["Press.Status.Flags", DataType.Boolean, 1, R, "Sixteen status flags"],
            ["Press.Recipe.Name", DataType.String, -1, R | W, "Recipe name"],
            ["Press.Recipe.Temperature", DataType.Float, -1, R | W, null],
            ["Oven.BcdTotal", DataType.UInt32, -1, R | W, "Eight-digit BCD total"],
            ["Oven.Total", DataType.Int32, -1, R | W, "Signed 32-bit total"],
            ["Oven.Temps", DataType.Float, 1, R | W, "Zone temperatures"],
            ["Oven.Zones.Bytes", DataType.Byte, 1, R | W, "Six bytes"],
            ["Oven.Zones.SignedBytes", DataType.SByte, 1, R | W, "Four signed bytes"],
            ["Packer.Command", DataType.UInt16, -1, W, "Command word"],
        ];
        for (const [item, dataType, valueRank, access, description] of cases) {
            const nodeId = c.id(item);
            const attrs = [AttributeIds.NodeClass, AttributeIds.BrowseName, AttributeIds.DisplayName, AttributeIds.Description,
                AttributeIds.DataType, AttributeIds.ValueRank, AttributeIds.ArrayDimensions, AttributeIds.AccessLevel,
                AttributeIds.UserAccessLevel];
            const dv = await c.session.read(attrs.map((attributeId) => ({ nodeId, attributeId })));
            const name = item.split(".").pop();
            assert.equal(dv[0].value.value, NodeClass.Variable, item);
            assert.equal(dv[1].value.value.name, name, item);
            assert.equal(dv[2].value.value.text, name, item);
            if (description) assert.equal(dv[3].value.value.text, description, item);
            assert.equal(dv[4].value.value.value, dataType, `${item} DataType`);
            assert.equal(dv[5].value.value, valueRank, `${item} ValueRank`);
            if (valueRank === 1) assert.deepEqual(Array.from(dv[6].value.value), [0], `${item} ArrayDimensions`);
            assert.equal(dv[7].value.value & (R | W), access, `${item} AccessLevel`);
            assert.equal(dv[8].value.value & (R | W), access, `${item} UserAccessLevel`);
        }
    });

    await t.test("every item named by the server is a node, and every data type reads and writes", async () => {
        // Values to write, one per data type of the demo; each is read back from the device.
        const cases = [
            ["Press.Setpoint", DataType.Int16, -1234],
            ["Press.Status.Alarm", DataType.Boolean, true],
            ["Press.Recipe.Name", DataType.String, "BATCH-\u00e9\u00ff"],
            ["Oven.Total", DataType.Int32, -123456789],
            ["Oven.Hours", DataType.UInt32, 4000000000],
            ["Oven.BcdTotal", DataType.UInt32, 12345678],
            ["Oven.Temps", DataType.Float, [1.5, -2.25, 300]],
            ["Oven.Zones.Bytes", DataType.Byte, [0, 1, 127, 128, 200, 255]],
            ["Oven.Zones.SignedBytes", DataType.SByte, [-128, -1, 0, 127]],
            ["Press.Recipe.Speeds", DataType.UInt16, [0, 1, 1000, 65535]],
            ["Press.Recipe.Temperature", DataType.Float, 21.5],
            ["Packer.Line.Station1.Totals", DataType.Int32, [2147483647, -2147483648]],
            ["Packer.Line.BcdCodes", DataType.UInt16, [9999, 0, 1234]],
            // plcsim counts LR 0 up every 250 ms, so the first position is checked by its neighbours only.
            ["Packer.Line.Station1.Positions", DataType.Int16, [1, -2, 3, -4, 5], 1],
        ];
        const browseAll = async (nodeId, out) => {
            const r = await c.session.browse(nodeId);
            for (const ref of r.references) {
                if (ref.nodeClass === NodeClass.Variable) out.push(ref.nodeId.value);
                else if (ref.nodeClass === NodeClass.Object && !String(ref.nodeId.value).endsWith("._Status")) await browseAll(ref.nodeId, out);
            }
            return out;
        };
        const { execFileSync } = require("node:child_process");
        const { BIN } = require("./harness");
        const serverItems = execFileSync(path.join(BIN, "vorlask-cli"), ["browse"], { env: { ...process.env, ...world.env } })
            .toString().trim().split("\n");
        const nodes = [];
        for (const plc of ["Press", "Oven", "Packer"]) await browseAll(c.id(plc), nodes);
        assert.deepEqual(nodes.sort(), serverItems.sort());
        for (const [id, dataType, value, animated = 0] of cases) {
            const isArray = Array.isArray(value);
            const status = await c.session.write({
                nodeId: c.id(id),
                attributeId: AttributeIds.Value,
                value: { value: { dataType, arrayType: isArray ? 1 : 0, value } },
            });
            assert.equal(status.name, "Good", `write ${id}`);
            const dv = await c.session.read({ nodeId: c.id(id), attributeId: AttributeIds.Value }, 0);
            assert.equal(dv.statusCode.name, "Good", `read ${id}`);
            const got = isArray ? Array.from(dv.value.value) : dv.value.value;
            if (dataType === DataType.String) assert.equal(got.trimEnd(), value, id);
            else if (isArray) assert.deepEqual(got.slice(animated), value.slice(animated), id);
            else assert.deepEqual(got, value, id);
            assert.ok(dv.sourceTimestamp && Date.now() - dv.sourceTimestamp.getTime() < 60000, `${id} carries the cache's time stamp`);
        }
    });

    await t.test("writes that cannot be carried out are refused with nothing written", async () => {
        // The set point, and the items right after the string and the array written too long.
        const watched = ["Press.Setpoint", "Press.Recipe.Speeds", "Oven.Zones.SignedBytes"];
        const readAll = async () => (await c.session.read(watched.map((i) => ({ nodeId: c.id(i), attributeId: AttributeIds.Value })), 0)).map((d) => d.value.value);
        const before = await readAll();
        const cases = [
            ["Press.Counter", { dataType: DataType.UInt16, value: 1 }, "BadNotWritable"],
            ["Press.Setpoint", { dataType: DataType.Double, value: 1.5 }, "BadTypeMismatch"],
            ["Press.Setpoint", { dataType: DataType.String, value: "12" }, "BadTypeMismatch"],
            // Longer than the item: it would run over the words of the items after it.
            ["Press.Recipe.Name", { dataType: DataType.String, value: "X".repeat(60) }, "BadOutOfRange"],
            ["Oven.Zones.Bytes", { dataType: DataType.Byte, arrayType: VariantArrayType.Array, value: new Uint8Array(50).fill(7) }, "BadOutOfRange"],
        ];
        for (const [item, value, expected] of cases) {
            const status = await c.session.write({ nodeId: c.id(item), attributeId: AttributeIds.Value, value: { value } });
            assert.equal(status.name, expected, `${item} <- ${JSON.stringify(value).slice(0, 60)}`);
        }
        assert.deepEqual(await readAll(), before);
    });

    await t.test("reads with a MaxAge answer from the cache, MaxAge 0 from the device", async () => {
        // The write changes the PLC; the cache of an item no one polls keeps what it had until
        // a device read.
        const id = c.id("Oven.Zones.Zone1");
        const first = await c.session.read({ nodeId: id, attributeId: AttributeIds.Value }, 0);
        assert.equal(first.statusCode.name, "Good");
        const target = first.value.value === 77 ? 78 : 77;
        const ok = await c.session.write({ nodeId: id, attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Int16, value: target } } });
        assert.equal(ok.name, "Good");
        const device = await c.session.read({ nodeId: id, attributeId: AttributeIds.Value }, 0);
        assert.equal(device.value.value, target);
        const cached = await c.session.read({ nodeId: id, attributeId: AttributeIds.Value }, CACHE);
        assert.equal(cached.value.value, target);
        assert.equal(cached.sourceTimestamp.getTime(), device.sourceTimestamp.getTime(), "the cache's time stamp");
    });

    await t.test("ServerStatus names the product and each PLC has its _Status", async () => {
        const build = await c.session.read([
            { nodeId: "ns=0;i=2261", attributeId: AttributeIds.Value }, // ProductName
            { nodeId: "ns=0;i=2263", attributeId: AttributeIds.Value }, // ManufacturerName
            { nodeId: "ns=0;i=2264", attributeId: AttributeIds.Value }, // SoftwareVersion
        ]);
        assert.equal(build[0].value.value, "Vorlask");
        assert.match(build[1].value.value, /MOLV Automation/);
        assert.match(build[2].value.value, /^\d+\.\d+\.\d+$/);
        await waitFor("Packer's status", async () => {
            const s = await c.session.read(["UnitNumber", "Port", "LastResult", "LastResultText"].map((n) => ({
                nodeId: c.id(`Packer._Status.${n}`), attributeId: AttributeIds.Value,
            })));
            return s[0].value.value === 5 && s[1].value.value === "COM2" && s[2].value.value === 0 && s[3].value.value === "";
        });
    });

    await t.test("a subscription polls the PLC while it exists and sees the animated value", async () => {
        const { sub, seen } = await subscribe(c, ["Press.Counter"], 250);
        const good = () => seen.get("Press.Counter").filter((d) => d.statusCode.name === "Good");
        await waitFor("three changes of the counter", () => new Set(good().map((d) => d.value.value)).size >= 3);
        // Before the first poll the server has no value for it yet.
        for (const dv of seen.get("Press.Counter").slice(0, -good().length))
            assert.equal(dv.statusCode.name, "UncertainInitialValue");
        await sub.terminate();
    });
});

test("a hundred adjacent items watched at 250 ms are one block read per 250 ms, and none once deleted; a slower watcher of a faster polled item gets one value an interval", async (t) => {
    const fs = require("node:fs");
    const { World } = require("./harness");
    const world = new World();
    t.after(() => world.stop());
    const tags = Array.from({ length: 100 }, (_, i) =>
        `<tag><name>W${i}</name><channel>DM${i}</channel><datatype>VT_UI2/BIN</datatype><accessrights>READ</accessrights></tag>`).join("");
    const config = path.join(world.work, "hundred.xml");
    fs.writeFileSync(config, `<?xml version="1.0" encoding="ISO-8859-1"?><MOLVOmronHLCfg><OPC_DA><PLC name="Line" id="0" com="COM1" baudrate="9600" stopbits="2" databits="7" parity="EVEN"><tags>${tags}</tags></PLC></OPC_DA></MOLVOmronHLCfg>`);
    await world.plcsim("com1", ["--unit", "0", "--animate", "DM 0 count every 100"]);
    world.configure(config, { COM1: "com1" });
    await world.server();
    const c = await opcuaSession(await world.gateway());
    t.after(() => c.close());
    const { DoorClient } = require("../../gateway/common/door-client");
    const door = new DoorClient(world.socket);
    door.start();
    t.after(() => door.stop());
    await waitFor("the door", () => door.connected);
    const commands = async () => (await door.request("plcs")) && (await door.request("stats")).plcs[0].commands;
    const blocks = async () => (await door.request("stats")).blocks;

    const items = Array.from({ length: 100 }, (_, i) => `Line.W${i}`);
    const { sub, seen } = await subscribe(c, items, 250);
    await waitFor("every item's first value", () => items.every((i) => seen.get(i).length > 0));
    await waitFor("W0 changing", () => seen.get("Line.W0").length >= 3);
    const b = await blocks();
    assert.equal(b.length, 1, "one cyclic block");
    assert.equal(b[0].count, 100);
    assert.equal(b[0].rateMs, 250);
    const n0 = await commands();
    const t0 = Date.now();
    await waitFor("two seconds of polling", async () => Date.now() - t0 >= 2000);
    const reads = (await commands()) - n0;
    const expected = (Date.now() - t0) / 250;
    assert.ok(reads <= expected * 1.5 + 2, `${reads} commands in ${Date.now() - t0} ms`);
    assert.ok(reads >= 2, `still polling (${reads})`);

    await sub.terminate();
    await waitFor("no cyclic block once the subscription is gone", async () => (await blocks()).length === 0);
    // A read under way when the block went may still end after it: wait until none is.
    let n1 = await commands();
    await waitFor("the last read ended", async () => {
        await new Promise((resolve) => setTimeout(resolve, 500));
        const n = await commands();
        const ended = n === n1;
        n1 = n;
        return ended;
    });
    const t1 = Date.now();
    await waitFor("a second without subscriptions", async () => Date.now() - t1 >= 1000);
    assert.equal(await commands(), n1, "no reads without subscriptions");

    // W0 counts every 100 ms. Watched at 100 ms and at 1000 ms at once, it is polled at
    // 100 ms: the fast watcher gets its changes as they come, the slow one still at most one
    // value a second, and both in order.
    const fast = await subscribe(c, ["Line.W0"], 100);
    const slow = await subscribe(c, ["Line.W0"], 1000);
    const t2 = Date.now();
    await waitFor("three seconds of both", async () => Date.now() - t2 >= 3000);
    const values = (w) => w.seen.get("Line.W0").filter((d) => d.statusCode.name === "Good").map((d) => d.value.value);
    const [quick, slowly] = [values(fast), values(slow)];
    assert.ok(slowly.length <= (Date.now() - t2) / 1000 + 2, `at most one a second: ${slowly.join(" ")}`);
    assert.ok(quick.length >= 10 && quick.length >= 3 * slowly.length, `every change: ${quick.length} against ${slowly.length}`);
    for (const v of [quick, slowly]) v.forEach((x, i) => i && assert.ok(x > v[i - 1] || v[i - 1] - x > 30000, `in order: ${v.join(" ")}`));
    await fast.sub.terminate();
    await slow.sub.terminate();
});
