"use strict";
// OPC UA benchmark: 10 000 monitored items at 1000 ms on 20 simulated PLCs (4 lines of 5
// units, 500 words each) whose every word changes each second, watched by clients of several
// kinds (profiles). For each it reports the CPU of the server and of the gateway, their memory
// before the monitored items, once they are created and at the end, the notifications a second
// against the changes the PLCs make, and the time from a PLC word changing to the client's
// notification. Each word holds the simulator's clock (milliseconds within the minute) at its
// change, so the client knows when it changed. Each profile has a plant of its own.
//
//   node bench/opcua_bench.js [--seconds N] [--profile NAME]...
const { waitFor, ua } = require("../tests/gateway/harness");
const { clockPlant, rssKb, cpuSeconds, settle } = require("./clock_plant");
const { OPCUAClient, AttributeIds, TimestampsToReturn, ClientMonitoredItemGroup } = ua;

const RATE = 1000;
const STATUS_NAMES = ["UnitNumber", "Port", "LastResult", "LastResultText", "Mode", "Model", "Fatal", "Fals", "Message"];

// How the clients subscribe. "current": this project's own client, every item in one call,
// notifications unlimited. The SCADA kind: a subscription's defaults as SCADA clients set them
// (keep-alive 10), the PLCs' status Variables as well, items created 1 000 a call, one
// subscription or ten.
const PROFILES = {
    current: { publishing: 100, subscriptions: 1, keepAlive: 50, lifetime: 1000, perCall: Infinity, status: false },
    "scada-100": { publishing: 100, subscriptions: 1, keepAlive: 10, lifetime: 10000, perCall: 1000, status: true },
    "scada-100-x10": { publishing: 100, subscriptions: 10, keepAlive: 10, lifetime: 10000, perCall: 1000, status: true },
    "scada-1000": { publishing: 1000, subscriptions: 1, keepAlive: 10, lifetime: 10000, perCall: 1000, status: true },
    "scada-1000-x10": { publishing: 1000, subscriptions: 10, keepAlive: 10, lifetime: 10000, perCall: 1000, status: true },
};

function argument(name, fallback) {
    const i = process.argv.indexOf(name);
    return i < 0 ? fallback : process.argv[i + 1];
}

function percentile(sorted, p) {
    return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

async function runProfile(name, profile, seconds) {
    const { world, server, plcs, WORDS } = await clockPlant(RATE);
    try {
        const url = await world.gateway();
        const pids = { server: server.child.pid, gateway: world.opcua.child.pid }; // the launcher execs node
        const rss = () => ({ server: rssKb(pids.server), gateway: rssKb(pids.gateway) });

        const client = OPCUAClient.create({ endpointMustExist: false, requestedSessionTimeout: 600000 });
        await client.connect(url);
        const session = await client.createSession();
        const ns = (await session.readNamespaceArray()).indexOf("urn:molv:vorlask");
        await settle(2000);
        const idle = rss();

        const words = [];
        const status = [];
        for (const p of plcs) {
            for (let w = 0; w < WORDS; w++) words.push(`ns=${ns};s=${p.name}.W${w}`);
            if (profile.status) for (const s of STATUS_NAMES) status.push(`ns=${ns};s=${p.name}._Status.${s}`);
        }
        const nodes = [...words, ...status];
        let latencies = [];
        let notifications = 0;
        let measuring = false;
        const onChange = (_mi, dv) => {
            notifications++;
            if (!measuring || dv.statusCode.name !== "Good" || typeof dv.value.value !== "number") return;
            const now = Date.now() % 60000;
            latencies.push((now - dv.value.value + 60000) % 60000);
        };
        const subscriptions = [];
        const share = Math.ceil(nodes.length / profile.subscriptions);
        for (let s = 0; s < profile.subscriptions; s++) {
            const sub = await session.createSubscription2({
                requestedPublishingInterval: profile.publishing,
                requestedMaxKeepAliveCount: profile.keepAlive,
                requestedLifetimeCount: profile.lifetime,
                maxNotificationsPerPublish: 0,
                publishingEnabled: true,
            });
            const mine = nodes.slice(s * share, (s + 1) * share);
            const groups = [];
            for (let i = 0; i < mine.length; i += Math.min(profile.perCall, mine.length)) {
                const items = mine.slice(i, i + profile.perCall).map((nodeId) => ({ nodeId, attributeId: AttributeIds.Value }));
                const group = ClientMonitoredItemGroup.create(sub, items, { samplingInterval: RATE, queueSize: 1, discardOldest: true }, TimestampsToReturn.Both);
                group.on("changed", onChange);
                await new Promise((resolve, reject) => {
                    group.once("initialized", resolve);
                    group.once("err", reject);
                });
                groups.push(group);
            }
            subscriptions.push({ sub, groups });
        }
        await waitFor("the first notifications", () => notifications >= nodes.length, 120000);
        await settle(5000); // warm-up
        const watched = rss();

        const cpu0 = { server: cpuSeconds(pids.server), gateway: cpuSeconds(pids.gateway) };
        const t0 = Date.now();
        latencies = [];
        measuring = true;
        const n0 = notifications;
        await settle(seconds * 1000);
        measuring = false;
        const wall = (Date.now() - t0) / 1000;
        const end = rss();
        const cpu = (which) => ((cpuSeconds(pids[which]) - cpu0[which]) / wall) * 100;
        latencies.sort((a, b) => a - b);

        const mb = (kb) => (kb / 1024).toFixed(1);
        const perItem = (a, b) => ((b - a) / nodes.length).toFixed(2);
        const both = (r) => r.server + r.gateway;
        const rate = (notifications - n0) / wall;
        const changes = words.length * (1000 / RATE); // every word changes each second
        console.log(`${name}: ${nodes.length} monitored items at ${RATE} ms in ${profile.subscriptions} subscription(s) publishing at ${profile.publishing} ms, ${plcs.length} PLCs; ${wall.toFixed(0)} s measured`);
        console.log(`  notifications   ${rate.toFixed(0)} a second, for ${changes} changes a second of the words (${((rate / changes) * 100).toFixed(1)} %)`);
        console.log(`  CPU             ${(cpu("server") + cpu("gateway")).toFixed(1)} % of one core: server ${cpu("server").toFixed(1)} %, gateway ${cpu("gateway").toFixed(1)} %`);
        console.log(`  latency         p50 ${percentile(latencies, 50)} ms, p99 ${percentile(latencies, 99)} ms, max ${latencies[latencies.length - 1]} ms (${latencies.length} samples)`);
        console.log(`  RSS server      ${mb(idle.server)} MB idle, ${mb(watched.server)} MB with the items, ${mb(end.server)} MB at the end`);
        console.log(`  RSS gateway     ${mb(idle.gateway)} MB idle, ${mb(watched.gateway)} MB with the items, ${mb(end.gateway)} MB at the end`);
        console.log(`  KB an item      ${perItem(both(idle), both(watched))} with the items, ${perItem(both(idle), both(end))} at the end (server ${perItem(idle.server, end.server)}, gateway ${perItem(idle.gateway, end.gateway)})`);
        for (const { sub, groups } of subscriptions) {
            for (const g of groups) await g.terminate();
            await sub.terminate();
        }
        await session.close();
        await client.disconnect();
    } finally {
        await world.stop();
    }
}

async function main() {
    const seconds = Number(argument("--seconds", 60));
    const chosen = process.argv.flatMap((a, i) => (process.argv[i - 1] === "--profile" ? [a] : []));
    for (const name of chosen.length ? chosen : Object.keys(PROFILES)) {
        if (!PROFILES[name]) throw new Error(`no profile ${name}: ${Object.keys(PROFILES).join(", ")}`);
        await runProfile(name, PROFILES[name], seconds);
    }
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
