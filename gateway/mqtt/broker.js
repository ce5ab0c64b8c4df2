"use strict";
// The connection to the broker: mqtt.js options from the command line, with the will the
// format asks for. mqtt.js connects again by itself (every second) when the broker goes away.
const fs = require("node:fs");
const mqtt = require("mqtt");

// The mqtt.js options of o (parsed command line, with readCredentials done) for a client whose
// will is will.
function brokerOptions(o, will) {
    const options = {
        clientId: `vorlask-${o.format}-${o.node}`.slice(0, 64),
        clean: true,
        reconnectPeriod: 1000,
        connectTimeout: 10000,
        keepalive: 30,
        // Nothing waits in mqtt.js while the broker is away: the changes wait in the publisher's
        // on-disk queue instead.
        queueQoSZero: false,
        will,
    };
    if (o.user) options.username = o.user;
    if (o.password !== undefined) options.password = o.password;
    if (o.caData) options.ca = o.caData;
    return options;
}

// Reads the files the command line names into o (password, caData), once; throws with a
// sentence when one cannot be read.
function readCredentials(o) {
    if (o.passwordFile) o.password = readFirstLine(o.passwordFile, "--password-file");
    if (o.ca) o.caData = readFile(o.ca, "--ca");
}

function readFile(file, option) {
    try {
        return fs.readFileSync(file);
    } catch (e) {
        throw new Error(`${option} ${file}: ${e.code === "ENOENT" ? "no such file" : e.message}`);
    }
}

function readFirstLine(file, option) {
    return readFile(file, option).toString("utf8").split(/\r?\n/)[0];
}

// A client of the broker, with a line on standard error for each connection and loss.
function connectBroker(o, will, log) {
    const client = mqtt.connect(o.broker, brokerOptions(o, will));
    let announced = false;
    client.on("connect", () => {
        log(`connected to the broker at ${o.broker}`);
        announced = false;
    });
    client.on("error", (e) => {
        if (!announced) log(`the broker at ${o.broker}: ${e.message}; trying again every second`);
        announced = true;
    });
    client.on("offline", () => {
        if (!announced) log(`the broker at ${o.broker} cannot be reached; trying again every second`);
        announced = true;
    });
    return client;
}

module.exports = { connectBroker, readCredentials };
