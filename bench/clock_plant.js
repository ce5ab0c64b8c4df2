"use strict";
// A simulated plant for the gateway benchmarks: LINES lines of UNITS PLCs with WORDS words
// each, every word showing the simulator's clock (milliseconds within the minute) and so
// changing each second, served by the real server. One item per word, PLC "LxUy", item "Wn".
const fs = require("node:fs");
const path = require("node:path");
const { World } = require("../tests/gateway/harness");

const LINES = 4;
const UNITS = 5;
const WORDS = 500;

async function clockPlant(rateMs) {
    const world = new World();
    const plcs = [];
    for (let line = 1; line <= LINES; line++) {
        const image = [];
        for (let u = 0; u < UNITS; u++) {
            image.push(`unit ${u}`);
            for (let w = 0; w < WORDS; w++) image.push(`animate DM ${w} clock every ${rateMs}`);
            plcs.push({ name: `L${line}U${u}`, unit: u, com: `COM${line}` });
        }
        const file = path.join(world.work, `line${line}.img`);
        fs.writeFileSync(file, image.join("\n") + "\n");
        await world.plcsim(`com${line}`, ["--image", file]);
    }
    const tags = Array.from({ length: WORDS }, (_, w) =>
        `<tag><name>W${w}</name><comment>clock</comment><channel>DM${w}</channel><datatype>VT_UI2/BIN</datatype><accessrights>READ</accessrights></tag>`).join("");
    const body = plcs.map((p) =>
        `<PLC name="${p.name}" id="${p.unit}" com="${p.com}" baudrate="9600" stopbits="2" databits="7" parity="EVEN"><tags>${tags}</tags></PLC>`).join("");
    const config = path.join(world.work, "bench.xml");
    fs.writeFileSync(config, `<?xml version="1.0" encoding="ISO-8859-1"?><MOLVOmronHLCfg><OPC_DA>${body}</OPC_DA></MOLVOmronHLCfg>`);
    const ports = {};
    for (let line = 1; line <= LINES; line++) ports[`COM${line}`] = `com${line}`;
    world.configure(config, ports);
    const server = await world.server();
    return { world, server, plcs, items: plcs.length * WORDS, LINES, WORDS };
}

function rssKb(pid) {
    const m = /VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, "utf8"));
    return Number(m[1]);
}

// CPU seconds (user and system) the process has used.
function cpuSeconds(pid) {
    const f = fs.readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" ");
    return (Number(f[11]) + Number(f[12])) / 100; // utime + stime in USER_HZ ticks
}

function settle(ms) {
    return new Promise((r) => setTimeout(r, ms));
}

// Watches a process for the given seconds: {wall} seconds, {cpu} share of one core and
// {rssMaxKb}, the largest resident size seen (once a second).
async function measureProcess(pid, seconds) {
    const cpu0 = cpuSeconds(pid);
    const t0 = Date.now();
    let rssMaxKb = 0;
    for (let s = 0; s < seconds; s++) {
        await settle(1000);
        rssMaxKb = Math.max(rssMaxKb, rssKb(pid));
    }
    const wall = (Date.now() - t0) / 1000;
    return { wall, cpu: (cpuSeconds(pid) - cpu0) / wall, rssMaxKb };
}

module.exports = { clockPlant, rssKb, cpuSeconds, settle, measureProcess };
