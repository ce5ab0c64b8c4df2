"use strict";
// The door client on its own: which door folders it trusts, requests that cannot be sent or
// are never answered, and log lines that no name can break.
const test = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const net = require("node:net");
const os = require("node:os");
const path = require("node:path");
const { DoorClient, untrustedDoorFolder } = require("../../gateway/common/door-client");
const { escapeControls } = require("../../gateway/common/program");
const { waitFor } = require("./harness");

test("a door folder is trusted only when no one else could have made or changed it", (t) => {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), "vorlask-door-"));
    t.after(() => fs.rmSync(work, { recursive: true, force: true }));
    const own = path.join(work, "own");
    fs.mkdirSync(own, { mode: 0o700 });
    fs.symlinkSync(own, path.join(work, "link"));
    fs.mkdirSync(path.join(work, "open"));
    fs.chmodSync(path.join(work, "open"), 0o777);
    const cases = [
        ["own", null],
        ["link", /symbolic link/],
        ["open", /writable by others/],
        ["missing", /cannot check/],
    ];
    if (process.getuid() === 0) {
        fs.mkdirSync(path.join(work, "theirs"));
        fs.chownSync(path.join(work, "theirs"), 65534, 65534);
        cases.push(["theirs", /belongs to another user/]);
    }
    for (const [name, why] of cases) {
        const got = untrustedDoorFolder(path.join(work, name));
        if (why) assert.match(got || "", why, name);
        else assert.equal(got, null, name);
    }
});

test("a request that cannot be sent or is never answered settles, and leaves nothing pending", async (t) => {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), "vorlask-door-"));
    const socket = path.join(work, "door.sock");
    // A door that takes requests and never answers.
    const server = net.createServer((c) => c.on("data", () => {}));
    await new Promise((resolve) => server.listen(socket, resolve));
    const door = new DoorClient(socket, { requestTimeoutMs: 300 });
    t.after(() => {
        door.stop();
        server.close();
        fs.rmSync(work, { recursive: true, force: true });
    });
    door.start();
    await waitFor("the door", () => door.connected);
    await assert.rejects(door.request("write", { items: [{ item: "A", value: 10n }] }), /cannot send the request/);
    assert.equal(door.pending.size, 0);
    await assert.rejects(door.request("status"), /did not answer in time/);
    assert.equal(door.pending.size, 0);
});

test("log lines escape control characters", () => {
    const cases = [
        ["plain text", "plain text"],
        ["Press.Name\nvorlask-mqtt: forged", "Press.Name\\x0avorlask-mqtt: forged"],
        ["\x1b[31mred\r", "\\x1b[31mred\\x0d"],
    ];
    for (const [text, shown] of cases) assert.equal(escapeControls(text), shown);
});
