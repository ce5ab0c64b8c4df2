"use strict";
// MQTT store-and-forward benchmark: vorlask-mqtt (JSON) publishing 1 000 items that change
// each second (2 simulated PLCs of 500 words) to a Mosquitto broker on loopback; the broker
// stops for 5 minutes and starts again. Reports the buffer's size on disk at the end of the
// outage, the publisher's RSS before and during it, how long the replay takes until changes
// are published live again (while new changes keep coming), and what one subscriber with a
// kept session received.
//
//   node bench/mqtt_outage_bench.js [--outage-seconds N]
const fs = require("node:fs");
const path = require("node:path");
const { waitFor, SRC } = require("../tests/gateway/harness");
const { clockPlant, settle, rssKb } = require("./clock_plant");

const mqtt = require(path.join(SRC, "gateway/mqtt/node_modules/mqtt"));

const RATE = 1000;
const argOf = (name) => Number(process.argv[process.argv.indexOf(name) + 1]) || 0;
const outageSeconds = argOf("--outage-seconds") || 300;

function diskBytes(dir) {
    let total = 0;
    for (const f of fs.readdirSync(dir)) if (/\.sqlite(-wal)?$/.test(f)) total += fs.statSync(path.join(dir, f)).size;
    return total;
}

const mb = (kb) => (kb / 1024).toFixed(1);

async function main() {
    const { world } = await clockPlant(RATE);
    try {
        const url = await world.broker({ persistent: true });
        const recorder = await mqtt.connectAsync(url, { clientId: "bench-recorder", clean: false, reconnectPeriod: 200 });
        let received = 0;
        let late = 0; // received more than 10 s after its time stamp
        recorder.on("message", (topic, payload) => {
            if (topic.includes("$")) return;
            received++;
            if (Date.now() - JSON.parse(payload).ts > 10000) late++;
        });
        await recorder.subscribeAsync("vorlask/bench/#", { qos: 1 });
        const publisher = await world.mqtt(url, ["--node", "bench", "--rate", String(RATE), "--items", "L1U0", "--items", "L1U1"]);
        const pid = publisher.child.pid; // the launcher execs node
        await waitFor("every item", () => received >= 1000, 120000);
        await settle(20000);
        const before = rssKb(pid);
        console.log(`MQTT outage: 1000 items changing each second, the broker away for ${outageSeconds} s`);

        await world.mosquitto.stop();
        const t0 = Date.now();
        let rssMax = 0;
        for (let s = 0; s < outageSeconds; s++) {
            await settle(1000);
            rssMax = Math.max(rssMax, rssKb(pid));
        }
        const dir = path.join(world.env.XDG_DATA_HOME, "vorlask/mqtt");
        const disk = diskBytes(dir);
        const received0 = received;
        const late0 = late;
        await world.broker({ persistent: true });
        const back = Date.now();
        const line = await waitFor("the replay", () => /replaying (\d+) kept changes[^\n]*\n[^]*replayed (\d+) kept changes in ([\d.]+) s/.exec(publisher.err), 600000, 500);
        const replayedAt = Date.now();
        await settle(5000);
        console.log(`  outage ${((back - t0) / 1000).toFixed(0)} s: ${line[1]} changes kept, ${(disk / 1048576).toFixed(1)} MB on disk (${(disk / Number(line[1])).toFixed(0)} bytes a change)`);
        console.log(`  publisher RSS ${mb(before)} MB before, at most ${mb(rssMax)} MB during the outage (+${mb(rssMax - before)} MB)`);
        console.log(`  replay: ${line[2]} changes (the kept ones and those that came meanwhile) in ${line[3]} s, then live; ` +
            `${((replayedAt - back) / 1000).toFixed(0)} s from the broker's return`);
        console.log(`  the subscriber received ${received - received0} messages after the return, ${late - late0} of them more than 10 s old; ` +
            `on disk now ${(diskBytes(dir) / 1048576).toFixed(2)} MB`);
        await publisher.stop();
        await recorder.endAsync(true);
    } finally {
        await world.stop();
    }
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
