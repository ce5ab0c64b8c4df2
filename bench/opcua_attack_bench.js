"use strict";
// What an anonymous attacker on the network can take of the OPC UA gateway and the server: it
// tries 1 000 sessions, asks for 100 000 monitored items and 200 durable subscriptions, then
// leaves. Reports what was granted, and the RSS and CPU of the server and the gateway before,
// under and after the load.
//
//   node bench/opcua_attack_bench.js
const { waitFor, ua } = require("../tests/gateway/harness");
const { clockPlant, rssKb, cpuSeconds, settle } = require("./clock_plant");
const { OPCUAClient, AttributeIds, TimestampsToReturn, DataType, MethodIds } = ua;

async function main() {
    const { world, server, plcs } = await clockPlant(1000);
    const clients = [];
    try {
        const url = await world.gateway();
        const pids = { server: server.child.pid, gateway: world.opcua.child.pid };
        const figures = (what) => ({
            what,
            serverRssMb: rssKb(pids.server) / 1024,
            gatewayRssMb: rssKb(pids.gateway) / 1024,
            cpu: cpuSeconds(pids.server) + cpuSeconds(pids.gateway),
            at: Date.now(),
        });
        const probe = OPCUAClient.create({ endpointMustExist: false });
        await probe.connect(url);
        const probeSession = await probe.createSession();
        const ns = (await probeSession.readNamespaceArray()).indexOf("urn:molv:vorlask");
        await probeSession.close();
        await probe.disconnect();
        await settle(2000);
        const rows = [figures("before")];

        // 1 000 sessions, ten at a time.
        let sessions = 0;
        for (let i = 0; i < 1000; i += 10) {
            await Promise.all(Array.from({ length: 10 }, async () => {
                const client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 } });
                try {
                    await client.connect(url);
                    const session = await client.createSession();
                    clients.push({ client, session });
                    sessions++;
                } catch {
                    await client.disconnect().catch(() => {});
                }
            }));
        }
        // 100 000 monitored items over the sessions granted, and 200 durable subscriptions.
        const node = { nodeId: `ns=${ns};s=${plcs[0].name}.W0`, attributeId: AttributeIds.Value };
        let items = 0;
        let durable = 0;
        for (let i = 0; i < 200; i++) {
            const { session } = clients[i % clients.length];
            let sub;
            try {
                sub = await session.createSubscription2({ requestedPublishingInterval: 100, publishingEnabled: true });
                const r = await session.call({ objectId: "ns=0;i=2253", methodId: `ns=0;i=${MethodIds.Server_SetSubscriptionDurable}`,
                    inputArguments: [{ dataType: DataType.UInt32, value: sub.subscriptionId }, { dataType: DataType.UInt32, value: 2400 }] });
                if (r.statusCode.name === "Good") durable++;
            } catch {
                continue; // refused, or the session was dropped
            }
            if (items >= 100000) continue;
            try {
                const created = await session.createMonitoredItems({ subscriptionId: sub.subscriptionId, timestampsToReturn: TimestampsToReturn.Both,
                    itemsToCreate: Array.from({ length: 500 }, (_, k) => ({ itemToMonitor: node, monitoringMode: 2,
                        requestedParameters: { clientHandle: k + 1, samplingInterval: 100, queueSize: 1, discardOldest: true } })) });
                items += created.results.filter((x) => x.statusCode.name === "Good").length;
            } catch {
                // refused whole
            }
        }
        await settle(10000);
        rows.push(figures("under load"));
        for (const { client, session } of clients.splice(0)) {
            await session.close().catch(() => {});
            await client.disconnect().catch(() => {});
        }
        await settle(10000);
        rows.push(figures("after it left"));

        console.log(`sessions granted: ${sessions} of 1000; monitored items granted: ${items} of 100000; durable subscriptions granted: ${durable} of 200`);
        console.log("| moment | server RSS MB | gateway RSS MB | CPU (server + gateway), % of a core since the row before |");
        console.log("|---|---|---|---|");
        rows.forEach((r, i) => {
            const cpu = i === 0 ? "-" : ((100 * (r.cpu - rows[i - 1].cpu)) / ((r.at - rows[i - 1].at) / 1000)).toFixed(1);
            console.log(`| ${r.what} | ${r.serverRssMb.toFixed(0)} | ${r.gatewayRssMb.toFixed(0)} | ${cpu} |`);
        });
    } catch (e) {
        console.error(`gateway: ${world.opcua && world.opcua.err.slice(-1500)}\nserver: ${server.err.slice(-800)}`);
        throw e;
    } finally {
        for (const { client } of clients) await client.disconnect().catch(() => {});
        await world.stop();
    }
}

main().then(() => process.exit(0), (e) => {
    console.error(e);
    process.exit(1);
});
