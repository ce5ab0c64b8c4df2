"use strict";
// Web interface benchmark: 10 000 items (20 simulated PLCs on 4 lines, 500 words each) whose
// every word changes each second, and the status page open in headless Chromium on "All items",
// the busiest branch (every item on screen, live). Reports vorlask-web's CPU and memory, and the
// delay from a change (the server's time stamp of the new value) to the page showing it.
//
//   node bench/web_bench.js [--seconds N]
const path = require("node:path");
const { waitFor, SRC } = require("../tests/gateway/harness");
const { clockPlant, settle, measureProcess } = require("./clock_plant");

const puppeteer = require(path.join(SRC, "tests/gateway/node_modules/puppeteer-core"));
const seconds = Number(process.argv[process.argv.indexOf("--seconds") + 1]) || 30;

function percentile(sorted, p) {
    return sorted.length ? sorted[Math.min(sorted.length - 1, Math.floor((sorted.length * p) / 100))] : NaN;
}

async function main() {
    const { world, items, plcs, LINES } = await clockPlant(1000);
    let browser = null;
    try {
        const base = await world.web();
        const pid = world.webProcess.child.pid; // the launcher execs node
        browser = await puppeteer.launch({
            executablePath: "/usr/bin/chromium",
            args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking", "--disable-dev-shm-usage",
                "--disable-component-update", "--disable-sync", `--user-data-dir=${path.join(world.work, "chromium")}`],
        });
        const page = await browser.newPage();
        await page.setViewport({ width: 1280, height: 900 });
        await page.goto(`${base}#`);
        await page.click('#tree button[data-branch=""]');
        // Every row there, and those in view showing values (the page draws only what is in view).
        await waitFor("every item on the page", () => page.evaluate((n) => {
            const trs = document.querySelectorAll("#items tbody tr");
            return trs.length === n && [...trs].slice(0, 20).every((tr) => tr.dataset.ts > 0);
        }, items), 180000, 1000);
        // Each row whose value cell the page rewrites: now less the value's time stamp.
        await page.evaluate(() => {
            window.delays = [];
            new MutationObserver((records) => {
                const now = Date.now();
                const rows = new Set(records.map((r) => r.target.parentElement && r.target.parentElement.closest("tr")).filter(Boolean));
                for (const tr of rows) window.delays.push(now - Number(tr.dataset.ts));
            }).observe(document.querySelector("#items tbody"), { childList: true, subtree: true, characterData: true });
        });
        await settle(5000);
        await page.evaluate(() => (window.delays = []));
        const { wall, cpu, rssMaxKb: rssMax } = await measureProcess(pid, seconds);
        const delays = (await page.evaluate(() => window.delays)).sort((a, b) => a - b);
        console.log(`Web: ${items} items, ${plcs.length} PLCs on ${LINES} lines, every word changing each second, the page on all of them; ${seconds} s measured`);
        console.log(`  vorlask-web CPU ${(cpu * 100).toFixed(1)} % of one core, RSS ${(rssMax / 1024).toFixed(1)} MB`);
        console.log(`  ${(delays.length / wall).toFixed(0)} values a second drawn (the rows in view); delay from change to page: ` +
            `p50 ${percentile(delays, 50)} ms, p99 ${percentile(delays, 99)} ms, max ${delays[delays.length - 1]} ms`);
    } finally {
        if (browser) await browser.close();
        await world.stop();
    }
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
