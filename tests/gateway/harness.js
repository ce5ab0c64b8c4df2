"use strict";
// Starts what a gateway test needs: simulated PLCs (plcsim on pseudo-terminals), the server
// headless on a configuration, with a private registry and door socket, and the gateway.
const { spawn } = require("node:child_process");
const fs = require("node:fs");
const net = require("node:net");
const os = require("node:os");
const path = require("node:path");

const BIN = process.env.VORLASK_BIN || path.resolve(__dirname, "../../build/bin");
const SRC = path.resolve(__dirname, "../..");

class Fatal extends Error {}

// Waits until check() returns a truthy value (or a promise of one), or throws after ms. A
// check that throws is tried again, unless it throws a Fatal.
async function waitFor(what, check, ms = 20000, everyMs = 50) {
    const deadline = Date.now() + ms;
    for (;;) {
        let v;
        try {
            v = await check();
        } catch (e) {
            if (e instanceof Fatal) throw e;
            v = undefined;
            if (Date.now() > deadline) throw new Error(`${what}: ${e.message}`);
        }
        if (v) return v;
        if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
        await new Promise((r) => setTimeout(r, everyMs));
    }
}

// A loopback TCP port that is free now, below the range the kernel gives to outgoing
// connections (so no client socket takes it before the server binds it).
async function freePort() {
    for (;;) {
        const port = 20000 + Math.floor(Math.random() * 12000);
        const free = await new Promise((resolve) => {
            const s = net.createServer();
            s.once("error", () => resolve(false));
            s.listen(port, "127.0.0.1", () => s.close(() => resolve(true)));
        });
        if (free) return port;
    }
}

// Every child ends with this process, however it ends: the kernel kills it when we die
// (setpriv's parent-death signal survives its exec), and a normal exit kills what is left.
const children = new Set();
process.on("exit", () => {
    for (const c of children) if (c.exitCode === null && c.signalCode === null) c.kill("SIGKILL");
});

class Process {
    constructor(name, exe, args, env) {
        this.name = name;
        this.out = "";
        this.err = "";
        this.child = spawn("setpriv", ["--pdeathsig", "KILL", "--", exe, ...args], {
            env: { ...process.env, ...env },
            stdio: ["ignore", "pipe", "pipe"],
        });
        children.add(this.child);
        this.child.on("exit", () => children.delete(this.child));
        this.child.stdout.on("data", (d) => (this.out += d));
        this.child.stderr.on("data", (d) => (this.err += d));
        this.exited = new Promise((resolve) => this.child.on("exit", (code, signal) => resolve({ code, signal })));
    }
    signal(sig) {
        if (this.child.exitCode === null && this.child.signalCode === null) this.child.kill(sig);
    }
    async stop() {
        this.signal("SIGTERM");
        const t = setTimeout(() => this.signal("SIGKILL"), 10000);
        await this.exited;
        clearTimeout(t);
    }
}

// A private world: work folder, registry, socket. plcs: [{name, args}] with args for plcsim
// (each gets --link WORK/name); ports: {COMn: plc name}.
class World {
    constructor() {
        this.work = fs.mkdtempSync(path.join(os.tmpdir(), "vorlask-gw-"));
        this.registry = path.join(this.work, "registry");
        this.socket = path.join(this.work, "door", "vorlask.sock");
        this.env = { MOLV_REGISTRY_ROOT: this.registry, VORLASK_SOCKET: this.socket, XDG_DATA_HOME: path.join(this.work, "data") };
        this.processes = [];
        this.sims = new Map();
    }
    start(name, exe, args, env = {}) {
        const p = new Process(name, exe, args, { ...this.env, ...env });
        this.processes.push(p);
        return p;
    }
    async plcsim(name, args) {
        const link = path.join(this.work, name);
        const p = this.start(`plcsim ${name}`, path.join(BIN, "plcsim"), ["--link", link, "--stats", ...args]);
        await waitFor(`plcsim ${name}`, () => fs.existsSync(link));
        this.sims.set(name, p);
        return p;
    }
    // values: further registry values of the server's key ({StatusPollMs: "300"}).
    configure(configFile, ports, values = {}) {
        const base = path.join(this.registry, "software", "molvautomation", "vorlask");
        fs.mkdirSync(path.join(base, "ports"), { recursive: true });
        const lines = Object.entries(ports).map(([com, sim]) => `${com}=${path.join(this.work, sim)}`);
        fs.writeFileSync(path.join(base, "ports", "values"), lines.join("\n") + "\n");
        const own = Object.entries(values).map(([name, value]) => `${name}=${value}\n`).join("");
        fs.writeFileSync(path.join(base, "values"), `ConfigFile=${configFile}\n${own}`);
    }
    async server(args = []) {
        const p = this.start("vorlask", path.join(BIN, "vorlask"), ["--headless", ...args]);
        await waitFor("the server's door", () => fs.existsSync(this.socket));
        this.vorlask = p;
        return p;
    }
    // A gateway program on a free port; resolves with the address it prints on its first line.
    // A port taken meanwhile by someone else is given up for another.
    async _listening(program, args, urlPattern) {
        for (let attempt = 1; ; attempt++) {
            const p = this.start(program, path.join(BIN, program), ["--port", String(await freePort()), ...args]);
            const url = await waitFor(`${program}'s address`, () => {
                if (p.child.exitCode !== null) {
                    if (/EADDRINUSE/.test(p.err) && attempt < 5) return "again";
                    throw new Fatal(`${program} ended: ${p.err}`);
                }
                const m = urlPattern.exec(p.out);
                return m && m[1];
            }, 60000);
            if (url !== "again") return { p, url };
        }
    }
    // The OPC UA gateway; resolves with its endpoint URL.
    async gateway(args = []) {
        const { p, url } = await this._listening("vorlask-opcua", args, /^(opc\.tcp:\/\/\S+)$/m);
        this.opcua = p;
        return url;
    }
    // The web interface; resolves with its address (http://127.0.0.1:PORT/) once it has the
    // server's tree.
    async web(args = []) {
        const { p, url } = await this._listening("vorlask-web", args, /^(https?:\/\/\S+)$/m);
        await waitFor("the web interface's items", () => {
            if (p.child.exitCode !== null) throw new Fatal(`vorlask-web ended: ${p.err}`);
            return /showing \d+ items/.test(p.err);
        });
        this.webProcess = p;
        return url;
    }
    // A Mosquitto broker of its own on a loopback port (the same port again when it is started
    // anew), with no other listener; resolves with its URL once it accepts. It keeps nothing
    // over a restart, unless persistent: then its sessions and their queued messages are saved
    // in the work folder when it stops (as the user running the tests: started by root,
    // Mosquitto would otherwise become the user "mosquitto", who may not write there).
    async broker({ persistent = false } = {}) {
        this.brokerPort = this.brokerPort || (await freePort());
        const conf = path.join(this.work, "mosquitto.conf");
        const keep = persistent
            ? `persistence true\npersistence_location ${this.work}/\nmax_queued_messages 0\nuser ${os.userInfo().username}\n`
            : "persistence false\n";
        fs.writeFileSync(conf, `listener ${this.brokerPort} 127.0.0.1\nallow_anonymous true\n${keep}`);
        const p = this.start("mosquitto", "/usr/sbin/mosquitto", ["-c", conf]);
        await waitFor("the broker", () => {
            if (p.child.exitCode !== null) throw new Fatal(`mosquitto ended: ${p.err}`);
            return new Promise((resolve) => {
                const s = net.connect(this.brokerPort, "127.0.0.1", () => s.end(() => resolve(true)));
                s.on("error", () => resolve(false));
            });
        });
        this.mosquitto = p;
        return `mqtt://127.0.0.1:${this.brokerPort}`;
    }
    // vorlask-mqtt on the broker at url; resolves once it publishes.
    async mqtt(url, args = []) {
        const p = this.start("vorlask-mqtt", path.join(BIN, "vorlask-mqtt"), ["--broker", url, ...args]);
        await waitFor("the publisher", () => {
            if (p.child.exitCode !== null) throw new Fatal(`vorlask-mqtt ended: ${p.err}`);
            return /publishing \d+ items/.test(p.err);
        });
        return p;
    }
    // mosquitto_sub on the broker, printing "topic payload" lines into .out.
    subscriber(topic, args = []) {
        return this.start(`mosquitto_sub ${topic}`, "/usr/bin/mosquitto_sub", ["-h", "127.0.0.1", "-p", String(this.brokerPort), "-v", "-t", topic, ...args]);
    }
    async stop() {
        for (const p of [...this.processes].reverse()) await p.stop();
        fs.rmSync(this.work, { recursive: true, force: true });
    }
}

// The demo configuration on its two simulated lines, as `make demo` runs it.
async function demoWorld(serverArgs = []) {
    const w = new World();
    await w.plcsim("com1", ["--image", path.join(SRC, "examples/demo_com1.img")]);
    await w.plcsim("com2", ["--image", path.join(SRC, "examples/demo_com2.img")]);
    w.configure(path.join(SRC, "examples/demo.xml"), { COM1: "com1", COM2: "com2" });
    await w.server(serverArgs);
    return w;
}

// node-opcua, from the gateway's own packages (loaded by the tests that use it).
let uaModule = null;
const ua = () => (uaModule = uaModule || require(path.join(SRC, "gateway/opcua/node_modules/node-opcua")));

// An OPC UA session on url, anonymous or as userIdentity; security None unless
// {certificates} (a client certificate manager) asks for Basic256Sha256 SignAndEncrypt. id(item)
// is the node ID of an item in our namespace; close() ends session and connection.
async function opcuaSession(url, userIdentity, { certificates = null } = {}) {
    const { OPCUAClient, MessageSecurityMode, SecurityPolicy } = ua();
    const client = OPCUAClient.create({
        endpointMustExist: false,
        connectionStrategy: certificates ? { maxRetry: 0 } : { maxRetry: 20, initialDelay: 100, maxDelay: 500 },
        securityMode: certificates ? MessageSecurityMode.SignAndEncrypt : MessageSecurityMode.None,
        securityPolicy: certificates ? SecurityPolicy.Basic256Sha256 : SecurityPolicy.None,
        clientCertificateManager: certificates || undefined,
    });
    try {
        await client.connect(url);
    } catch (e) {
        await client.disconnect();
        throw e;
    }
    let session;
    try {
        session = await client.createSession(userIdentity);
    } catch (e) {
        await client.disconnect();
        throw e;
    }
    const ns = (await session.readNamespaceArray()).indexOf("urn:molv:vorlask");
    if (ns <= 0) throw new Error("the namespace urn:molv:vorlask is not registered");
    return {
        client,
        session,
        ns,
        id: (item) => `ns=${ns};s=${item}`,
        close: async () => {
            await session.close();
            await client.disconnect();
        },
    };
}

module.exports = { World, demoWorld, waitFor, freePort, opcuaSession, BIN, SRC };
Object.defineProperty(module.exports, "ua", { get: ua, enumerable: true });
