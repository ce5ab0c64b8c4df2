"use strict";
// OPC UA benchmark: 10 000 monitored items at 1000 ms on 20 simulated PLCs (4 lines of 5
// units, 500 words each) whose every word changes each second. Reports the CPU of the server
// and the gateway together, their memory with and without the monitored items, and the time
// from a PLC word changing to the client's notification. Each word holds the simulator's clock
// (milliseconds within the minute) at its change, so the client knows when it changed.
//
//   node bench/opcua_bench.js [--seconds N]
const { waitFor, ua } = require("../tests/gateway/harness");
const { clockPlant, rssKb, cpuSeconds, settle } = require("./clock_plant");
const { OPCUAClient, AttributeIds, TimestampsToReturn, ClientMonitoredItemGroup } = ua;

const RATE = 1000;
const seconds = Number(process.argv[process.argv.indexOf("--seconds") + 1]) || 30;

function percentile(sorted, p) {
    return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

async function main() {
    const { world, server, plcs, LINES, WORDS } = await clockPlant(RATE);
    try {
        const url = await world.gateway();
        const serverPid = server.child.pid;
        // The launcher execs node: the gateway's process is the one started.
        const gatewayPid = world.opcua.child.pid;

        const client = OPCUAClient.create({ endpointMustExist: false, requestedSessionTimeout: 600000 });
        await client.connect(url);
        const session = await client.createSession();
        const ns = (await session.readNamespaceArray()).indexOf("urn:molv:vorlask");
        await settle(2000);
        const idle = { server: rssKb(serverPid), gateway: rssKb(gatewayPid) };

        const items = [];
        for (const p of plcs) for (let w = 0; w < WORDS; w++) items.push({ nodeId: `ns=${ns};s=${p.name}.W${w}`, attributeId: AttributeIds.Value });
        const sub = await session.createSubscription2({
            requestedPublishingInterval: 100,
            requestedMaxKeepAliveCount: 50,
            requestedLifetimeCount: 1000,
            maxNotificationsPerPublish: 0,
            publishingEnabled: true,
        });
        let latencies = [];
        let notifications = 0;
        let measuring = false;
        const group = ClientMonitoredItemGroup.create(sub, items, { samplingInterval: RATE, queueSize: 1, discardOldest: true }, TimestampsToReturn.Both);
        group.on("changed", (_mi, dv) => {
            notifications++;
            if (!measuring || dv.statusCode.name !== "Good") return;
            const now = Date.now() % 60000;
            latencies.push((now - dv.value.value + 60000) % 60000);
        });
        await waitFor("the monitored items", () => notifications >= items.length, 120000);
        await settle(5000); // warm-up
        const watched = { server: rssKb(serverPid), gateway: rssKb(gatewayPid) };

        const cpu0 = cpuSeconds(serverPid) + cpuSeconds(gatewayPid);
        const serverCpu0 = cpuSeconds(serverPid);
        const t0 = Date.now();
        latencies = [];
        measuring = true;
        const n0 = notifications;
        await settle(seconds * 1000);
        measuring = false;
        const wall = (Date.now() - t0) / 1000;
        const cpu = (cpuSeconds(serverPid) + cpuSeconds(gatewayPid) - cpu0) / wall;
        const serverCpu = (cpuSeconds(serverPid) - serverCpu0) / wall;
        latencies.sort((a, b) => a - b);

        const mb = (kb) => (kb / 1024).toFixed(1);
        const perItem = (a, b) => (((b - a) * 1024) / items.length).toFixed(0);
        console.log(`OPC UA: ${items.length} monitored items at ${RATE} ms, ${plcs.length} PLCs on ${LINES} lines, every word changing each second; ${wall.toFixed(0)} s measured`);
        console.log(`  notifications      ${((notifications - n0) / wall).toFixed(0)} a second`);
        console.log(`  CPU                ${(cpu * 100).toFixed(1)} % of one core (server ${(serverCpu * 100).toFixed(1)} %, gateway ${((cpu - serverCpu) * 100).toFixed(1)} %)`);
        console.log(`  latency            p50 ${percentile(latencies, 50)} ms, p99 ${percentile(latencies, 99)} ms, max ${latencies[latencies.length - 1]} ms (${latencies.length} samples)`);
        console.log(`  RSS server         ${mb(idle.server)} MB idle, ${mb(watched.server)} MB watching: ${perItem(idle.server, watched.server)} bytes an item`);
        console.log(`  RSS gateway        ${mb(idle.gateway)} MB idle, ${mb(watched.gateway)} MB watching: ${perItem(idle.gateway, watched.gateway)} bytes an item`);
        console.log(`  together           ${perItem(idle.server + idle.gateway, watched.server + watched.gateway)} bytes an item`);
        await group.terminate();
        await sub.terminate();
        await session.close();
        await client.disconnect();
    } finally {
        await world.stop();
    }
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
