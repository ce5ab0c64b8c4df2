"use strict";
// MQTT benchmark: vorlask-mqtt publishing 10 000 items (20 simulated PLCs on 4 lines, 500
// words each) whose every word changes each second, to a Mosquitto broker on loopback, at a
// rate of 1000 ms; first as JSON, then as Sparkplug B. Reports the messages (and, for
// Sparkplug, the metrics) a second delivered to one subscriber of everything, the publisher's
// CPU and its memory.
//
//   node bench/mqtt_bench.js [--seconds N]
const path = require("node:path");
const { waitFor, SRC } = require("../tests/gateway/harness");
const { clockPlant, settle, measureProcess } = require("./clock_plant");

const mqtt = require(path.join(SRC, "gateway/mqtt/node_modules/mqtt"));
const sparkplug = require(path.join(SRC, "gateway/mqtt/node_modules/sparkplug-payload")).get("spBv1.0");

const RATE = 1000;
const seconds = Number(process.argv[process.argv.indexOf("--seconds") + 1]) || 30;

async function measure(world, url, items, format) {
    const subscriber = await mqtt.connectAsync(url, { reconnectPeriod: 0 });
    let messages = 0;
    let metrics = 0;
    subscriber.on("message", (_topic, payload) => {
        messages++;
        if (format === "sparkplug") metrics += sparkplug.decodePayload(payload).metrics.length;
    });
    await subscriber.subscribeAsync(format === "json" ? "vorlask/bench/#" : "spBv1.0/bench/#", { qos: 0 });
    const publisher = await world.mqtt(url, ["--node", "bench", "--group", "bench", "--format", format, "--rate", String(RATE)]);
    const pid = publisher.child.pid; // the launcher execs node
    // Every item announced, then a warm-up.
    await waitFor("every item", () => (format === "json" ? messages : metrics) >= items, 120000);
    await settle(5000);
    const m0 = messages;
    const k0 = metrics;
    const { wall, cpu, rssMaxKb: rssMax } = await measureProcess(pid, seconds);
    console.log(`  ${format.padEnd(9)}  ${((messages - m0) / wall).toFixed(0)} messages a second` +
        (format === "sparkplug" ? ` (${((metrics - k0) / wall).toFixed(0)} metrics)` : "") +
        `, publisher CPU ${(cpu * 100).toFixed(1)} % of one core, RSS ${(rssMax / 1024).toFixed(1)} MB`);
    await publisher.stop();
    await subscriber.endAsync();
}

async function main() {
    const { world, items, plcs, LINES } = await clockPlant(RATE);
    try {
        const url = await world.broker();
        console.log(`MQTT: ${items} items at ${RATE} ms, ${plcs.length} PLCs on ${LINES} lines, every word changing each second; ${seconds} s measured each`);
        await measure(world, url, items, "json");
        await measure(world, url, items, "sparkplug");
    } finally {
        await world.stop();
    }
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
