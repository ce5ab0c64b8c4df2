"use strict";
// vorlask-mqtt: the MQTT publisher of Vorlask, a client of the server's local door.
const { parseOptions, itemSelector, USAGE } = require("./options");
const { readCredentials } = require("./broker");
const { makeLog, answerCommandLine, tellDoor, untilStopped, run } = require("../common/program");

const VERSION = process.env.VORLASK_VERSION || require("./package.json").version;
const log = makeLog("vorlask-mqtt");

async function main() {
    const parsed = parseOptions(process.argv.slice(2));
    const answered = answerCommandLine("vorlask-mqtt", parsed, USAGE, VERSION, log);
    if (answered !== null) return answered;
    const o = parsed.options;
    if (o.warning) log(`warning: ${o.warning}`);
    try {
        readCredentials(o); // now, so that a file that cannot be read stops here
    } catch (e) {
        log(e.message);
        return 2;
    }

    const { ChangeQueue } = require("./change-queue");
    let queue;
    try {
        queue = new ChangeQueue(o.bufferDir, `${o.format}-${o.node}`, o.bufferMb * 1048576);
    } catch (e) {
        log(e.message);
        return 2;
    }
    if (!queue.empty) log(`${queue.length} changes kept in ${queue.file} wait to be published`);

    const { DoorClient } = require("../common/door-client");
    const { Source } = require("./source");
    const { JsonPublisher } = require("./json-format");
    const { SparkplugPublisher } = require("./sparkplug-format");

    const door = new DoorClient(o.socket);
    const source = new Source(door, { select: itemSelector(o.items), rate: o.rate, log });
    const Publisher = o.format === "sparkplug" ? SparkplugPublisher : JsonPublisher;
    const publisher = new Publisher(o, source, log, queue);

    tellDoor(door, o.socket, log);
    source.on("ready", (items) => {
        log(`publishing ${items.length} items to ${o.broker} as ${o.format}${o.allowWrites ? ", writes allowed" : ""}`);
        for (const p of o.items)
            if (!items.some((i) => itemSelector([p])(i.id))) log(`--items "${p}" matches no item`);
    });
    door.start();

    await untilStopped();
    door.stop();
    // The last word to the broker, but never wait for it for long.
    await Promise.race([publisher.stop(), new Promise((resolve) => setTimeout(resolve, 2000))]);
    return 0;
}

run(main, log);
