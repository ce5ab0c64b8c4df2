"use strict";
// vorlask-mqtt keeps every change while the broker or the Sparkplug primary host is away and
// publishes them in order when it is back: against a real Mosquitto, the real server and the
// demo's simulated counter (one step each 500 ms, polled at 100 ms, so every step is a change).
const test = require("node:test");
const assert = require("node:assert");
const path = require("node:path");
const { execFileSync, spawnSync } = require("node:child_process");
const { demoWorld, waitFor, BIN, SRC } = require("./harness");

const modules = path.join(SRC, "gateway/mqtt/node_modules");
const mqtt = require(path.join(modules, "mqtt"));
const sparkplug = require(path.join(modules, "sparkplug-payload")).get("spBv1.0");
const Database = require(path.join(modules, "better-sqlite3"));

function counterNow(world) {
    const out = execFileSync(path.join(BIN, "vorlask-cli"), ["read", "--device", "Press.Counter"], { env: { ...process.env, ...world.env } });
    return Number(out.toString().split("\t")[1]);
}

// Waits until the PLC's counter has gone steps past what it is now.
async function counterSteps(world, steps) {
    const from = counterNow(world);
    await waitFor(`the counter ${steps} steps on`, () => counterNow(world) - from >= steps, 30000, 200);
}

// The values, without repeats in a row, must each be one more than the one before, but for
// those the gap [from, to] may leave out (while no publisher ran).
function assertEveryStep(values, what, gap = [Infinity, -Infinity]) {
    const steps = values.filter((v, i) => i === 0 || v !== values[i - 1]);
    steps.forEach((v, i) => {
        if (!i) return;
        const missed = v - steps[i - 1] - 1;
        const excused = missed > 0 && steps[i - 1] + 1 >= gap[0] && v - 1 <= gap[1];
        assert.ok(missed === 0 || excused, `${what}: ${steps.join(" ")}`);
    });
    return steps;
}

test("JSON: every change made while the broker was away, and the publisher killed meanwhile, arrives in order", async (t) => {
    const world = await demoWorld();
    t.after(() => world.stop());
    const url = await world.broker({ persistent: true });
    const args = ["--node", "sf", "--rate", "100", "--items", "Press.Counter", "--items", "Press.Recipe.Name"];
    // A recorder with a session the broker keeps over its restart, so that it misses nothing.
    const recorder = await mqtt.connectAsync(url, { clientId: "recorder", clean: false, reconnectPeriod: 200 });
    t.after(() => recorder.end(true));
    // Its session must come back with the broker; a new one would miss what came before it.
    const sessions = [];
    recorder.on("connect", (ack) => sessions.push(ack.sessionPresent));
    const seen = [];
    recorder.on("message", (topic, payload) => seen.push({ topic, ...JSON.parse(payload.toString()) }));
    await recorder.subscribeAsync("vorlask/sf/Press/#", { qos: 1 });
    // The PLC's values (a read before the PLC first answered may come first, with its quality).
    const counters = () => seen.filter((m) => m.topic === "vorlask/sf/Press/Counter" && m.quality === 192);
    let publisher = await world.mqtt(url, args);
    await waitFor("the counter live", () => counters().length >= 3);

    await t.test("kept on disk over an outage and a restart of the publisher, replayed in order, then the latest retained", async () => {
        await world.mosquitto.stop();
        const outageStart = Date.now();
        await waitFor("the changes kept", () => /changes are kept in .*vorlask\/mqtt\/json-sf\.sqlite/.test(publisher.err));
        await counterSteps(world, 3);
        const atKill = counterNow(world);
        publisher.signal("SIGKILL");
        await publisher.exited;
        publisher = await world.mqtt(url, args);
        const atStart = counterNow(world);
        await waitFor("the kept changes found", () => /\d+ changes kept in .* wait to be published/.test(publisher.err));
        await counterSteps(world, 3);
        await world.broker({ persistent: true });
        await waitFor("the replay", () => /replayed \d+ kept changes/.test(publisher.err), 60000);
        const back = counterNow(world);
        await waitFor("the recorder back", () => sessions.length);
        assert.equal(sessions[0], true, "the recorder's session was kept over the broker's restart");
        await waitFor("live changes after the replay", () => counters().some((m) => m.value > back), 30000);
        const values = counters().map((m) => m.value);
        // What changed while no publisher ran is not known to anyone.
        const steps = assertEveryStep(values, "the counter as recorded", [atKill, atStart + 1]);
        assert.ok(steps.length >= 9, `the outage's changes are there: ${steps.join(" ")}`);
        const kept = counters().filter((m) => m.ts > outageStart && m.ts < outageStart + 2000);
        assert.ok(kept.length, "changes keep the time stamps of when they were read");
        const latest = world.subscriber("vorlask/sf/Press/Counter", ["-C", "1", "-W", "20"]);
        await latest.exited;
        assert.ok(Number(JSON.parse(latest.out.split(" ").slice(1).join(" ")).value) >= back, "the latest value is retained");
    });

    await t.test("a full buffer drops the oldest changes, counts them and says so once", async () => {
        await world.mosquitto.stop();
        await waitFor("the changes kept", () => /changes are kept in/.test(publisher.err.split("replayed").pop()));
        await publisher.stop();
        // 3 000 changes of about 1 KB each, kept by an earlier run, in a buffer of 1 MB.
        const file = path.join(world.env.XDG_DATA_HOME, "vorlask/mqtt/json-sf.sqlite");
        const db = new Database(file);
        const before = db.prepare("SELECT count(*) AS n FROM changes").get().n;
        const insert = db.prepare("INSERT INTO changes (item, value, quality, ts) VALUES ('Press.Recipe.Name', ?, 192, ?)");
        db.transaction(() => {
            for (let k = 0; k < 3000; k++) insert.run(JSON.stringify(`${k}`.padEnd(1000, ".")), Date.now());
        })();
        db.close();
        const names = () => seen.filter((m) => m.topic === "vorlask/sf/Press/Recipe/Name" && /^\d+\./.test(m.value)).map((m) => parseInt(m.value, 10));
        publisher = await world.mqtt(url, [...args, "--buffer-mb", "1"]);
        await waitFor("the buffer full", () => /the buffer is full \(1 MB\)/.test(publisher.err));
        // The web interface's metrics show the buffer (its figures are written every 5 s).
        const web = await world.web();
        const metric = (text, name) => Number((new RegExp(`^${name} (\\S+)$`, "m").exec(text) || [])[1]);
        const text = await waitFor("the buffer's metrics", async () => {
            const t = await (await fetch(`${web}metrics`)).text();
            return metric(t, 'vorlask_mqtt_dropped_changes_total\\{publisher="json-sf"\\}') > 0 && t;
        });
        assert.equal(metric(text, 'vorlask_mqtt_state\\{publisher="json-sf",state="buffering"\\}'), 1);
        assert.ok(metric(text, 'vorlask_mqtt_buffered_changes\\{publisher="json-sf"\\}') > 0);
        assert.ok(metric(text, 'vorlask_mqtt_buffer_bytes\\{publisher="json-sf"\\}') > 0);
        const check = spawnSync("promtool", ["check", "metrics"], { input: text });
        assert.equal(check.status, 0, `promtool: ${check.stdout}${check.stderr}`);
        await counterSteps(world, 2);
        await world.broker({ persistent: true });
        const summary = await waitFor("the replay", () => /replayed \d+ kept changes.*; (\d+) older changes had been dropped/.exec(publisher.err), 60000);
        const dropped = Number(summary[1]);
        await waitFor("the last kept name", () => names().includes(2999), 30000);
        const got = names();
        assert.ok(dropped > before, "more were dropped than the counter's changes before them");
        assert.equal(got[0], dropped - before, "the oldest were dropped, as many as told");
        got.forEach((k, i) => assert.equal(k, got[0] + i, "the rest in order"));
        assert.equal(publisher.err.match(/the buffer is full/g).length, 1, "told once");
    });
});

test("Sparkplug: while the primary host is offline the node is dead and keeps its changes; they come back historical", async (t) => {
    const world = await demoWorld();
    t.after(() => world.stop());
    const url = await world.broker();
    const host = await mqtt.connectAsync(url, { reconnectPeriod: 0 });
    t.after(() => host.endAsync());
    const messages = [];
    host.on("message", (topic, payload) => {
        if (topic.startsWith("spBv1.0/STATE/")) return;
        messages.push({ type: topic.split("/")[2], device: topic.split("/")[4], ...sparkplug.decodePayload(payload) });
    });
    await host.subscribeAsync("spBv1.0/plant/#", { qos: 1 });
    const state = (online) => host.publishAsync("spBv1.0/STATE/scada", JSON.stringify({ online, timestamp: Date.now() }), { qos: 1, retain: true });
    const num = (v) => (v && typeof v.toNumber === "function" ? v.toNumber() : v);
    const counterMetrics = (from = 0) => messages.slice(from).flatMap((m) =>
        ["DBIRTH", "DDATA"].includes(m.type)
            ? m.metrics.filter((x) => x.name === "Counter" && x.properties.Quality.value === 192).map((x) => ({ type: m.type, value: x.value, historical: !!x.isHistorical }))
            : []);

    await state(false);
    const publisher = await world.mqtt(url, ["--format", "sparkplug", "--group", "plant", "--node", "cell9", "--rate", "100",
        "--items", "Press.Counter", "--primary-host", "scada"]);
    await counterSteps(world, 2);
    assert.equal(messages.length, 0, "nothing is born while the host is offline");
    await state(true);
    await waitFor("born, and the counter live", () => counterMetrics().filter((c) => !c.historical && c.type === "DDATA").length >= 2);

    await t.test("offline: NDEATH and silence; online: births, the kept changes as historical DDATA, then live", async () => {
        const firstBirth = messages.find((m) => m.type === "NBIRTH");
        const bdSeq = num(firstBirth.metrics.find((m) => m.name === "bdSeq").value);
        await state(false);
        const death = await waitFor("NDEATH", () => messages.find((m) => m.type === "NDEATH"));
        assert.equal(num(death.metrics.find((m) => m.name === "bdSeq").value), bdSeq);
        const dead = messages.length;
        await counterSteps(world, 4);
        assert.equal(messages.length, dead, "nothing while the host is offline");
        await state(true);
        await waitFor("the replay", () => /replayed \d+ kept changes/.test(publisher.err), 30000);
        const back = counterNow(world);
        await waitFor("live data after the replay", () => counterMetrics(dead).some((c) => !c.historical && c.type === "DDATA" && c.value > back));
        const after = messages.slice(dead);
        assert.deepEqual(after.slice(0, 2).map((m) => m.type), ["NBIRTH", "DBIRTH"], "born again first");
        assert.notEqual(num(after[0].metrics.find((m) => m.name === "bdSeq").value), bdSeq, "a new session");
        const history = counterMetrics(dead).filter((c) => c.historical);
        assert.ok(history.length >= 4, "the changes of the outage come back");
        const firstLive = counterMetrics(dead).findIndex((c) => c.type === "DDATA" && !c.historical);
        assert.ok(counterMetrics(dead).findIndex((c) => c.historical) < firstLive, "history before live data");
        // Every step of the counter: live before, history, live after (births carry the current value).
        assertEveryStep(counterMetrics().filter((c) => c.type === "DDATA").map((c) => c.value), "the counter in DDATA");
        after.forEach((m, i) => m.type !== "NDEATH" && assert.equal(num(m.seq), i % 256, "seq runs on from the new NBIRTH"));
    });
});
