#!/usr/bin/env node
"use strict";
// vorlask-mqtt: the MQTT publisher of Vorlask, a client of the server's local door.
const { parseOptions, itemSelector, USAGE } = require("./options");
const { brokerOptions } = require("./broker");

const VERSION = process.env.VORLASK_VERSION || require("./package.json").version;

function log(text) {
    process.stderr.write(`vorlask-mqtt: ${text}\n`);
}

async function main() {
    const parsed = parseOptions(process.argv.slice(2));
    if (parsed.help) {
        process.stdout.write(USAGE + "\n");
        return 0;
    }
    if (parsed.version) {
        process.stdout.write(`vorlask-mqtt ${VERSION}\n`);
        return 0;
    }
    if (parsed.error) {
        log(parsed.error);
        process.stderr.write("Try 'vorlask-mqtt --help'.\n");
        return 2;
    }
    const o = parsed.options;
    try {
        brokerOptions(o, null); // the files it names, read now so that a wrong one stops here
    } catch (e) {
        log(e.message);
        return 2;
    }

    const { DoorClient } = require("../common/door-client");
    const { Source } = require("./source");
    const { JsonPublisher } = require("./json-format");
    const { SparkplugPublisher } = require("./sparkplug-format");

    const door = new DoorClient(o.socket);
    const source = new Source(door, { select: itemSelector(o.items), rate: o.rate, log });
    const Publisher = o.format === "sparkplug" ? SparkplugPublisher : JsonPublisher;
    const publisher = new Publisher(o, source, log);

    let seenDoor = false;
    door.on("up", () => {
        log(`connected to the server at ${o.socket}`);
        seenDoor = true;
    });
    door.on("down", () => log("the server's door closed; connecting again"));
    door.on("shutdown", () => log("the server is shutting down"));
    source.on("ready", (items) => {
        log(`publishing ${items.length} items to ${o.broker} as ${o.format}${o.allowWrites ? ", writes allowed" : ""}`);
        for (const p of o.items)
            if (!items.some((i) => itemSelector([p])(i.id))) log(`--items "${p}" matches no item`);
    });
    door.start();
    setTimeout(() => {
        if (!seenDoor) log(`waiting for the server at ${o.socket}`);
    }, 2000).unref();

    await new Promise((resolve) => {
        process.once("SIGINT", resolve);
        process.once("SIGTERM", resolve);
    });
    door.stop();
    // The last word to the broker, but never wait for it for long.
    await Promise.race([publisher.stop(), new Promise((resolve) => setTimeout(resolve, 2000))]);
    return 0;
}

main().then(
    (code) => process.exit(code),
    (e) => {
        log(e.stack || String(e));
        process.exit(1);
    },
);
