"use strict";
// The gateway when things go wrong: PLC faults, the server going away, unsafe settings, users,
// and the server's supervision of its gateway.
const test = require("node:test");
const assert = require("node:assert/strict");
const { execFileSync, spawnSync } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const { World, waitFor, freePort, opcuaSession: session, ua, BIN, SRC } = require("./harness");
const { AttributeIds, DataType, TimestampsToReturn, UserTokenType } = ua;

function configFile(world, plcs) {
    const body = plcs.map(([name, unit]) =>
        `<PLC name="${name}" id="${unit}" com="COM1" baudrate="9600" stopbits="2" databits="7" parity="EVEN"><tags>` +
        `<tag><name>Word</name><comment>a word</comment><channel>DM0</channel><datatype>VT_UI2/BIN</datatype><accessrights>READWRITE</accessrights></tag>` +
        `</tags></PLC>`).join("");
    const file = path.join(world.work, "config.xml");
    fs.writeFileSync(file, `<?xml version="1.0" encoding="ISO-8859-1"?><MOLVOmronHLCfg><OPC_DA>${body}</OPC_DA></MOLVOmronHLCfg>`);
    return file;
}

test("PLC faults show as statuses, the server's absence as BadNoCommunication, and it comes back alone", async (t) => {
    const world = new World();
    t.after(() => world.stop());
    await world.plcsim("com1", ["--unit", "0", "--unit", "1", "--unit", "2", "--unit", "3",
        "--fault", "1:RD:endcode=14", "--fault", "2:RD:endcode=04", "--fault", "3:RD:silence"]);
    world.configure(configFile(world, [["Good", 0], ["Failing", 1], ["Idle", 2], ["Silent", 3]]), { COM1: "com1" });
    await world.server();
    const c = await session(await world.gateway());
    t.after(() => c.close());

    const plcs = ["Good", "Failing", "Idle", "Silent"];
    const sub = await c.session.createSubscription2({ requestedPublishingInterval: 250, requestedMaxKeepAliveCount: 20, requestedLifetimeCount: 400, publishingEnabled: true });
    // A PLC's status Variable is watched too: it changes only when the gateway sets it.
    const watched = [...plcs.map((p) => `${p}.Word`), "Good._Status.LastResult"];
    const group = await sub.monitorItems(watched.map((n) => ({ nodeId: c.id(n), attributeId: AttributeIds.Value })),
        { samplingInterval: 250, queueSize: 100 }, TimestampsToReturn.Both);
    const last = new Map();
    group.on("changed", (_mi, dv, i) => last.set(i < plcs.length ? plcs[i] : "status", dv.statusCode.name));

    const expected = { Good: "Good", Failing: "BadDeviceFailure", Idle: "BadOutOfService", Silent: "BadCommunicationError" };
    await waitFor("each PLC's status", () => plcs.every((p) => last.get(p) === expected[p]), 30000)
        .catch((e) => assert.fail(`${e.message}: ${JSON.stringify([...last])}`));
    const results = { Good: [0], Failing: [69], Idle: [65], Silent: [4] };
    for (const p of plcs) {
        // _Status follows the server's PLC status each second.
        const read = () => c.session.read([`${p}._Status.LastResult`, `${p}._Status.LastResultText`].map((n) => ({ nodeId: c.id(n), attributeId: AttributeIds.Value })));
        const [code, text] = await waitFor(`${p}'s last result`, async () => {
            const r = await read();
            return results[p].includes(r[0].value.value) && r;
        });
        assert.equal(text.value.value === "", p === "Good", `${p}: "${text.value.value}" for ${code.value.value}`);
    }

    // The server goes away: every value says so; when it is back the subscription carries on.
    await world.vorlask.stop();
    await waitFor("BadNoCommunication", () => last.get("Good") === "BadNoCommunication" && last.get("status") === "BadNoCommunication");
    const read = await c.session.read({ nodeId: c.id("Good.Word"), attributeId: AttributeIds.Value });
    assert.equal(read.statusCode.name, "BadNoCommunication");
    await world.server();
    await waitFor("the subscription after the server's return", () => last.get("Good") === "Good" && last.get("status") === "Good", 30000);
    const write = await c.session.write({ nodeId: c.id("Good.Word"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.UInt16, value: 4242 } } });
    assert.equal(write.name, "Good");
});

test("a PLC's mode and model are on its _Status, and a write it refuses in RUN is BadInvalidState", async (t) => {
    const world = new World();
    t.after(() => world.stop());
    await world.plcsim("com1", ["--unit", "0", "--mode", "RUN", "--run-lock", "--model", "11"]);
    world.configure(configFile(world, [["Press", 0]]), { COM1: "com1" }, { StatusPollMs: "300" });
    await world.server();
    const c = await session(await world.gateway());
    t.after(() => c.close());
    const names = ["Mode", "Model", "Fatal", "Fals", "Message"];
    await waitFor("Press's mode and model", async () => {
        const s = await c.session.read(names.map((n) => ({ nodeId: c.id(`Press._Status.${n}`), attributeId: AttributeIds.Value })));
        return s[0].value.value === "RUN" && s[1].value.value === "C2000H/CQM1/CPM1/CPM1A/SRM1" &&
            s[2].value.value === false && s[3].value.value === false && s[4].value.value === "";
    });
    const write = await c.session.write({ nodeId: c.id("Press.Word"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.UInt16, value: 1 } } });
    assert.equal(write.name, "BadInvalidState");
});

test("unsafe settings are refused with one line", () => {
    const cases = [
        [["--host", "192.0.2.1"], /refusing to listen on 192\.0\.2\.1 without security/],
        [["--host", "192.0.2.1", "--security", "sign"], /without user names/],
        [["--host", "192.0.2.1", "--security", "none,sign", "--users", "/dev/null"], /without security/],
        [["--security", "rot13"], /--security: "rot13"/],
        [["--users", "/dev/null"], /refusing --users with --security none only/],
        [["--max-sessions", "0"], /--max-sessions/],
        [["--port", "0"], /--port/],
    ];
    for (const [args, reason] of cases) {
        const r = spawnSync(path.join(BIN, "vorlask-opcua"), args, { encoding: "utf8", timeout: 30000 });
        assert.equal(r.status, 2, args.join(" "));
        assert.match(r.stderr.split("\n")[0], reason);
        assert.equal(r.stdout, "");
    }
});

test("signed and encrypted: a client is trusted by moving its certificate, then only users log in and only writers write", async (t) => {
    const world = new World();
    t.after(() => world.stop());
    await world.plcsim("com1", ["--unit", "0"]);
    world.configure(configFile(world, [["Good", 0]]), { COM1: "com1" });
    await world.server();
    const hash = (pw) => execFileSync(path.join(BIN, "vorlask-opcua"), ["--hash-password"], { input: pw + "\n" }).toString().trim();
    const users = path.join(world.work, "users");
    fs.writeFileSync(users, `# operators\nop:${hash("secret-op")}:writer\nview:${hash("secret-view")}\n`);
    const pki = path.join(world.work, "pki");
    const url = await world.gateway(["--users", users, "--security", "signandencrypt", "--pki", pki]);
    const certificates = new ua.OPCUACertificateManager({ rootFolder: path.join(world.work, "client-pki"), automaticallyAcceptUnknownCertificate: true });
    await certificates.initialize();
    const op = { type: UserTokenType.UserName, userName: "op", password: "secret-op" };

    // The first connection is refused and leaves the client's certificate in rejected/.
    await assert.rejects(session(url, op, { certificates }), /BadSecurityChecksFailed/);
    const rejected = fs.readdirSync(path.join(pki, "rejected")).filter((f) => f.endsWith(".pem"));
    assert.equal(rejected.length, 1);
    fs.renameSync(path.join(pki, "rejected", rejected[0]), path.join(pki, "trusted", "certs", rejected[0]));
    await (await waitFor("the trusted client's session", () => session(url, op, { certificates }))).close();

    await assert.rejects(session(url, undefined, { certificates }), "anonymous is refused");
    // A user certificate anyone can make, naming a writer, is no way in: no certificate
    // tokens are offered or taken.
    const x509 = path.join(world.work, "x509");
    fs.mkdirSync(x509);
    execFileSync("openssl", ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=op", "-days", "1",
        "-keyout", path.join(x509, "key.pem"), "-out", path.join(x509, "cert.pem")],
        { stdio: ["ignore", "ignore", "pipe"], env: { PATH: process.env.PATH } }); // not node-opcua's OpenSSL settings
    const crypto = require(path.join(SRC, "gateway/opcua/node_modules/node-opcua-crypto"));
    const asOp = { type: UserTokenType.Certificate, certificateData: crypto.readCertificate(path.join(x509, "cert.pem")),
        privateKey: crypto.readPrivateKey(path.join(x509, "key.pem")) };
    await assert.rejects(session(url, asOp, { certificates }), "a self-made user certificate is refused");
    await assert.rejects(session(url, { ...op, password: "wrong" }, { certificates }), "a wrong password is refused");
    await assert.rejects(session(url, op), "security None is not offered");
    const cases = [["op", "secret-op", "Good"], ["view", "secret-view", "BadUserAccessDenied"]];
    for (const [userName, password, writeStatus] of cases) {
        const c = await session(url, { type: UserTokenType.UserName, userName, password }, { certificates });
        try {
            const r = await c.session.read({ nodeId: c.id("Good.Word"), attributeId: AttributeIds.Value }, 0);
            assert.equal(r.statusCode.name, "Good", `${userName} reads`);
            const w = await c.session.write({ nodeId: c.id("Good.Word"), attributeId: AttributeIds.Value, value: { value: { dataType: DataType.UInt16, value: 7 } } });
            assert.equal(w.name, writeStatus, `${userName} writes`);
        } finally {
            await c.close();
        }
    }
});

test("no client takes the server for itself: limits, no durable subscriptions for anonymous, no door groups left behind", async (t) => {
    const world = new World();
    t.after(() => world.stop());
    await world.plcsim("com1", ["--unit", "0"]);
    world.configure(configFile(world, [["Good", 0]]), { COM1: "com1" });
    await world.server();
    const c = await session(await world.gateway(["--max-subscriptions", "2"]));
    t.after(() => c.close());
    const { DoorClient } = require("../../gateway/common/door-client");
    const door = new DoorClient(world.socket);
    door.start();
    t.after(() => door.stop());
    await waitFor("the door", () => door.connected);
    const groups = async () => (await door.request("status")).groups;
    // A read makes the gateway's private group for reads by ID, which stays.
    await c.session.read({ nodeId: c.id("Good.Word"), attributeId: AttributeIds.Value });
    const baseline = await groups();

    // Monitored items come and go at ever new sampling intervals: their door groups go with them.
    const sub = await c.session.createSubscription2({ requestedPublishingInterval: 100, requestedMaxKeepAliveCount: 20, requestedLifetimeCount: 400, publishingEnabled: true });
    for (let round = 0; round < 20; round++) {
        const mi = await sub.monitor({ nodeId: c.id("Good.Word"), attributeId: AttributeIds.Value }, { samplingInterval: 100 + round * 10, queueSize: 1 }, TimestampsToReturn.Both);
        await waitFor("the item's door group", async () => (await groups()) > baseline);
        await mi.terminate();
    }
    await waitFor("no door group left", async () => (await groups()) === baseline);

    // Many clients may watch one node: a dozen monitored items on it leave the gateway serving.
    const many = await c.session.createMonitoredItems({ subscriptionId: sub.subscriptionId, timestampsToReturn: TimestampsToReturn.Both,
        itemsToCreate: Array.from({ length: 12 }, (_, k) => ({ itemToMonitor: { nodeId: c.id("Good.Word"), attributeId: AttributeIds.Value },
            monitoringMode: 2, requestedParameters: { clientHandle: 100 + k, samplingInterval: 250, queueSize: 1, discardOldest: true } })) });
    assert.ok(many.results.every((r) => r.statusCode.name === "Good"));
    assert.equal((await c.session.read({ nodeId: c.id("Good.Word"), attributeId: AttributeIds.Value })).statusCode.name, "Good");
    await c.session.deleteMonitoredItems({ subscriptionId: sub.subscriptionId, monitoredItemIds: many.results.map((r) => r.monitoredItemId) });

    // A durable subscription outlives its session and keeps the PLC polled: not for anonymous.
    const durable = await c.session.call({
        objectId: "ns=0;i=2253", methodId: `ns=0;i=${ua.MethodIds.Server_SetSubscriptionDurable}`,
        inputArguments: [{ dataType: DataType.UInt32, value: sub.subscriptionId }, { dataType: DataType.UInt32, value: 2400 }],
    });
    assert.equal(durable.statusCode.name, "BadUserAccessDenied");

    // Subscriptions per session are bounded (2 here, with the first above).
    await c.session.createSubscription2({ requestedPublishingInterval: 100, publishingEnabled: true });
    await assert.rejects(c.session.createSubscription2({ requestedPublishingInterval: 100, publishingEnabled: true }), /BadTooManySubscriptions/);
});

test("vorlask --opcua runs the gateway, starts it again when it dies, and stops it", async (t) => {
    const world = new World();
    t.after(() => world.stop());
    await world.plcsim("com1", ["--unit", "0"]);
    world.configure(configFile(world, [["Good", 0]]), { COM1: "com1" });
    const port = await freePort();
    const server = await world.server(["--opcua-args", `--port ${port}`]);
    const url = `opc.tcp://127.0.0.1:${port}`;
    const children = () => execFileSync("ps", ["-o", "pid=", "--ppid", String(server.child.pid)]).toString().trim().split(/\s+/).filter(Boolean);
    const first = await waitFor("the gateway child", () => children().length === 1 && children()[0]);
    const readOnce = async () => {
        const c = await session(url);
        try {
            return (await c.session.read({ nodeId: c.id("Good.Word"), attributeId: AttributeIds.Value }, 0)).statusCode.name;
        } finally {
            await c.close();
        }
    };
    assert.equal(await waitFor("a read through the gateway", readOnce, 60000), "Good");

    process.kill(Number(first), "SIGKILL");
    const second = await waitFor("a new gateway", () => children().length === 1 && children()[0] !== first && children()[0], 30000);
    assert.notEqual(second, first);
    assert.equal(await waitFor("a read through the new gateway", readOnce, 60000), "Good");

    await world.vorlask.stop();
    assert.throws(() => process.kill(Number(second), 0), "the gateway ends with the server");
});
