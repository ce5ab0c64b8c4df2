"use strict";
// vorlask-web against the real server and simulated PLCs: every REST route, users and who may
// write, writes refused from other sites and beyond their item, the metrics checked by
// promtool, TLS, the refusal of an unsafe address; and the page in headless Chromium, following
// a PLC into failure and back.
const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const http = require("node:http");
const https = require("node:https");
const path = require("node:path");
const { execFileSync, spawnSync } = require("node:child_process");
const { World, demoWorld, waitFor, BIN, SRC } = require("./harness");

const UNKNOWN_ITEM = 3221487623;
const OUT_OF_RANGE = 3221487627;

// {status, headers, text, body (parsed JSON or undefined)} of one request.
function request(url, { method = "GET", headers = {}, body, auth, ca } = {}) {
    const u = new URL(url);
    const h = { ...headers };
    if (auth) h.Authorization = `Basic ${Buffer.from(auth).toString("base64")}`;
    return new Promise((resolve, reject) => {
        // The path as given: a URL object would fold its dot segments.
        const options = { hostname: u.hostname, port: u.port, path: url.slice(u.origin.length), method, headers: h, ca };
        const req = (u.protocol === "https:" ? https : http).request(options, (res) => {
            let text = "";
            res.setEncoding("utf8");
            res.on("data", (d) => (text += d));
            res.on("end", () => {
                let parsed;
                try {
                    parsed = JSON.parse(text);
                } catch {
                    parsed = undefined;
                }
                resolve({ status: res.statusCode, headers: res.headers, text, body: parsed });
            });
        });
        req.on("error", reject);
        req.end(body);
    });
}

function deviceValue(world, item) {
    const out = execFileSync(path.join(BIN, "vorlask-cli"), ["read", "--device", item], { env: { ...process.env, ...world.env } });
    return out.toString().split("\t")[1];
}

function usersFile(world) {
    const hash = (pw) => execFileSync(path.join(BIN, "vorlask-web"), ["--hash-password"], { input: pw + "\n" }).toString().trim();
    const file = path.join(world.work, "users");
    fs.writeFileSync(file, `op:${hash("secret-op")}:writer\nview:${hash("secret-view")}\n`);
    return file;
}

test("REST, users and writes, metrics, TLS and unsafe addresses", async (t) => {
    const world = await demoWorld();
    t.after(() => world.stop());
    const users = usersFile(world);
    const base = await world.web(["--users", users, "--allow-writes"]);
    const op = { auth: "op:secret-op" };
    const view = { auth: "view:secret-view" };
    const json = { "Content-Type": "application/json" };

    await t.test("every route answers a user, and nobody else", async () => {
        for (const auth of [undefined, "view:wrong", "nobody:secret-view"]) {
            const r = await request(`${base}api/plcs`, { auth });
            assert.equal(r.status, 401, `${auth}: ${r.text}`);
            assert.match(r.headers["www-authenticate"], /^Basic /);
        }
        const plcs = await waitFor("the PLCs' modes", async () => {
            const r = (await request(`${base}api/plcs`, view)).body;
            return r.plcs.every((p) => p.mode && p.commands > 0) && r;
        });
        assert.deepEqual(plcs.plcs.map((p) => [p.plc, p.unit, p.port, p.mode]),
            [["Press", 0, "COM1", "MONITOR"], ["Oven", 1, "COM1", "MONITOR"], ["Packer", 5, "COM2", "MONITOR"]]);
        assert.deepEqual(plcs.lines.map((l) => l.port).sort(), ["COM1", "COM2"]);
        const routes = [
            ["api/session", 200, (b) => b.user === "view" && b.writer === false && b.canWrite === false],
            ["api/branches", 200, (b) => b.branches.some((x) => x.branch === "Press.Recipe" && x.parent === "Press")],
            ["api/items?under=Press.Recipe", 200, (b) => b.items.map((i) => i.item).join() === "Press.Recipe.Name,Press.Recipe.Speeds,Press.Recipe.Temperature"],
            ["api/items", 200, (b) => b.items.length === 26],
            ["api/items?under=Nowhere", 404, (b) => /Nowhere/.test(b.error)],
            ["api/items/Press.Setpoint?device=1", 200, (b) => b.value === 500 && b.quality === 192 && b.datatype === "VT_I2"],
            ["api/items/Press.Recipe.Name", 200, (b) => b.elements === 12 && b.access === "READWRITE"],
            ["api/items/No.Such", 404, (b) => b.code === UNKNOWN_ITEM],
            ["api/items/%E0%A4%A", 400, (b) => !!b.error],
            ["api/messages", 200, (b) => Array.isArray(b.messages) && Number.isInteger(b.written)],
            ["api/nothing", 404, (b) => !!b.error],
        ];
        for (const [route, status, check] of routes) {
            const r = await request(`${base}${route}`, view);
            assert.equal(r.status, status, `${route}: ${r.text}`);
            assert.ok(check(r.body), `${route}: ${r.text}`);
        }
        const api = (await request(`${base}api/openapi.json`, view)).body;
        for (const route of ["/api/plcs", "/api/items", "/api/items/{id}", "/api/messages", "/api/branches", "/api/events", "/metrics"])
            assert.ok(api.paths[route], `${route} is described`);
        assert.ok(api.paths["/api/items/{id}"].put, "the write is described");
    });

    await t.test("only a writer writes, only what it names, and never from another site", async () => {
        const put = (item, body, who, headers = json) => request(`${base}api/items/${encodeURIComponent(item)}`, { method: "PUT", headers, body, ...who });
        const setpoint = encodeURIComponent("Press.Setpoint");
        const refused = [
            [setpoint, view, json, '{"value": 77}', 403, /may not write/],
            [setpoint, op, { "Content-Type": "text/plain" }, '{"value": 77}', 403, /JSON/],
            [setpoint, op, { ...json, Origin: "http://evil.example" }, '{"value": 77}', 403, /evil/],
            [setpoint, op, { ...json, "Sec-Fetch-Site": "cross-site" }, '{"value": 77}', 403, /another site/],
            [setpoint, op, json, '{"val": 77}', 400, /value/],
            [setpoint, op, json, "[1,", 400, /value/],
            [setpoint, op, json, '{"value": 1e999}', 400, /finite/],
            [setpoint, op, json, '{"value": null}', 400, /finite/],
            [setpoint, op, json, '{"value": {"valueOf": 77}}', 400, /finite/],
            [`Nothing/%2e%2e/${setpoint}`, op, json, '{"value": 77}', 404, /no item/],
        ];
        for (const [item, who, headers, body, status, why] of refused) {
            const r = await request(`${base}api/items/${item}`, { method: "PUT", headers, body, ...who });
            assert.equal(r.status, status, `${item} ${body}: ${r.text}`);
            assert.match(r.body.error, why);
        }
        const crossSite = await request(`${base}api/plcs`, { ...view, headers: { "Sec-Fetch-Site": "cross-site" } });
        assert.equal(crossSite.status, 403, "another site's page reads nothing either");
        assert.equal(deviceValue(world, "Press.Setpoint"), "500", "nothing was written");
        const speeds = deviceValue(world, "Press.Recipe.Speeds");

        const long = await put("Press.Recipe.Name", JSON.stringify({ value: "X".repeat(60) }), op);
        assert.equal(long.status, 400, long.text);
        assert.equal(long.body.code, OUT_OF_RANGE);
        assert.equal(deviceValue(world, "Press.Recipe.Speeds"), speeds, "the next item is untouched");

        const r = await put("Press.Setpoint", '{"value": 77}', op);
        assert.equal(r.status, 200, r.text);
        assert.equal(deviceValue(world, "Press.Setpoint"), "77");
        const read = await request(`${base}api/items/Press.Setpoint?device=1`, view);
        assert.equal(read.body.value, 77);
    });

    await t.test("a page elsewhere that points its name at us is not served", async () => {
        const r = await request(`${base}api/plcs`, { ...view, headers: { Host: `evil.example:${new URL(base).port}` } });
        assert.equal(r.status, 421, r.text);
    });

    await t.test("the metrics are open on loopback, well formed and labelled", async () => {
        const r = await request(`${base}metrics`);
        assert.equal(r.status, 200);
        const check = spawnSync("promtool", ["check", "metrics"], { input: r.text });
        assert.equal(check.status, 0, `promtool: ${check.stdout}${check.stderr}`);
        for (const name of ["vorlask_plc_commands_total", "vorlask_plc_failures_total", "vorlask_plc_response_mean_seconds",
            "vorlask_plc_response_max_seconds", "vorlask_plc_last_result", "vorlask_plc_up"])
            assert.match(r.text, new RegExp(`^${name}\\{plc="Packer",unit="5",port="COM2"\\} \\d`, "m"), name);
        assert.match(r.text, /^vorlask_plc_up\{plc="Press",unit="0",port="COM1"\} 1$/m);
        assert.match(r.text, /^vorlask_line_busy_ratio\{port="COM1"\} [\d.]+$/m);
        assert.match(r.text, /^vorlask_door_clients [1-9]/m);
        assert.match(r.text, /^process_resident_memory_bytes \d+/m);
    });

    await t.test("an address other than loopback needs TLS and users; TLS serves", async () => {
        const refusals = [
            [["--host", "0.0.0.0"], /refusing to listen on 0\.0\.0\.0/],
            [["--host", "192.0.2.1", "--users", users], /TLS/],
            [["--host", "::", "--tls-cert", "c.pem", "--tls-key", "k.pem"], /user names/],
            [["--tls-cert", "c.pem"], /go together/],
        ];
        for (const [args, why] of refusals) {
            const r = spawnSync(path.join(BIN, "vorlask-web"), args, { encoding: "utf8", timeout: 20000 });
            assert.equal(r.status, 2, args.join(" "));
            assert.match(r.stderr, why);
            if (args[0] === "--host") assert.equal(r.stderr.trim().split("\n").length, 1, "one line of reason");
        }
        const cert = path.join(world.work, "web.crt");
        const key = path.join(world.work, "web.key");
        execFileSync("openssl", ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
            "-addext", "subjectAltName=IP:127.0.0.1", "-days", "1", "-keyout", key, "-out", cert], { stdio: "ignore" });
        const secure = await world.web(["--users", users, "--tls-cert", cert, "--tls-key", key]);
        assert.match(secure, /^https:\/\/127\.0\.0\.1:\d+\/$/);
        const r = await request(`${secure}api/session`, { ...op, ca: fs.readFileSync(cert) });
        assert.equal(r.status, 200, r.text);
        assert.equal(r.body.user, "op");
        assert.equal(r.body.canWrite, false, "no writes without --allow-writes");
    });
});

test("the page in Chromium: PLCs, live values, a PLC failing and coming back", async (t) => {
    const puppeteer = require("puppeteer-core");
    const world = await demoWorld();
    t.after(() => world.stop());
    const base = await world.web();
    const browser = await puppeteer.launch({
        executablePath: "/usr/bin/chromium",
        args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", `--user-data-dir=${path.join(world.work, "chromium")}`],
    });
    t.after(() => browser.close());
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    const problems = [];
    page.on("pageerror", (e) => problems.push(e.message));
    // Errors of the page's own script (a stream the browser drops and takes up again is not one).
    page.on("console", (m) => m.type() === "error" && !/^Failed to load resource/.test(m.text()) && problems.push(m.text()));
    await page.goto(base);

    const state = (plc) => page.$eval(`#plcs tr[data-plc="${plc}"] .state`, (e) => e.textContent).catch(() => null);
    const cell = (item) => page.$eval(`#items tr[data-item="${item}"] td.value`, (e) => e.textContent).catch(() => null);
    for (const plc of ["Press", "Oven", "Packer"]) await waitFor(`${plc} OK on the page`, async () => (await state(plc)) === "OK", 30000);
    const first = await waitFor("the counter on the page", async () => (await cell("Press.Counter")) || null);
    await waitFor("the counter to change on the page", async () => (await cell("Press.Counter")) !== first);
    await waitFor("the mode shown", () => page.$eval('#plcs tr[data-plc="Press"]', (tr) => /MONITOR/.test(tr.textContent)));

    // The filter keeps what matches.
    await page.type("#filter", "speed");
    const shown = await page.$$eval("#items tbody tr", (trs) => trs.filter((tr) => !tr.hidden).map((tr) => tr.dataset.item));
    assert.deepEqual(shown, ["Press.Recipe.Speeds"]);
    await page.$eval("#filter", (e) => (e.value = ""));

    // Every item on screen: every PLC is polled (as a SCADA polling all would have it).
    await page.click('#tree button[data-branch=""]');
    await waitFor("the Packer's items", async () => (await cell("Packer.Line.BcdCodes")) !== null);
    await world.sims.get("com2").stop();
    await waitFor("Packer red on the page", async () => (await state("Packer")) === "failing", 60000);
    const row = await page.$eval('#plcs tr[data-plc="Packer"]', (tr) => ({ cls: tr.className, text: tr.textContent }));
    assert.equal(row.cls, "bad");
    assert.match(row.text, /COM2/);
    await page.screenshot({ path: path.join(world.work, "failing.png") });
    await world.plcsim("com2", ["--image", path.join(SRC, "examples/demo_com2.img")]);
    await waitFor("Packer OK again", async () => (await state("Packer")) === "OK", 60000);
    assert.ok((await page.$$eval("#messages li", (li) => li.length)) > 0, "the failure's message lines are shown");

    // Another branch from the tree, and no writes offered without --allow-writes.
    await page.click('#tree button[data-branch="Oven"]');
    await waitFor("the Oven's items", async () => (await cell("Oven.BcdCounter")) !== null);
    assert.equal(await page.$("button[data-write]"), null);

    // A writer on a page that allows writes: the value asked for, confirmed, written.
    const writable = await world.web(["--users", usersFile(world), "--allow-writes"]);
    const opPage = await browser.newPage();
    await opPage.authenticate({ username: "op", password: "secret-op" });
    const asked = [];
    opPage.on("dialog", (d) => {
        asked.push(d.type());
        d.accept(d.type() === "prompt" ? "321" : undefined);
    });
    await opPage.goto(`${writable}#Press`);
    await opPage.waitForSelector('button[data-write="Press.Setpoint"]', { timeout: 30000 });
    assert.equal(await opPage.$('button[data-write="Press.Counter"]'), null, "a read-only item has no write button");
    await opPage.click('button[data-write="Press.Setpoint"]');
    await waitFor("the page's write", () => deviceValue(world, "Press.Setpoint") === "321");
    assert.deepEqual(asked, ["prompt", "confirm"]);
    await waitFor("the page to say so", () => opPage.$eval("#notice", (e) => e.textContent === "Press.Setpoint: written"));

    if (process.env.VORLASK_WEB_SCREENSHOT) {
        await page.click('#tree button[data-branch="Press"]');
        await waitFor("the Press's items", async () => (await cell("Press.Counter")) !== null);
        await page.screenshot({ path: process.env.VORLASK_WEB_SCREENSHOT });
    }
    assert.deepEqual(problems, []);
});

test("vorlask --web runs the web interface on its door", async (t) => {
    const world = new World();
    t.after(() => world.stop());
    await world.plcsim("com1", ["--image", path.join(SRC, "examples/demo_com1.img")]);
    await world.plcsim("com2", ["--image", path.join(SRC, "examples/demo_com2.img")]);
    world.configure(path.join(SRC, "examples/demo.xml"), { COM1: "com1", COM2: "com2" });
    const port = await require("./harness").freePort();
    const server = await world.server(["--web", "--web-args", `--port ${port}`]);
    const plcs = await waitFor("the web interface", async () => {
        const r = await request(`http://127.0.0.1:${port}/api/plcs`).catch(() => null);
        return r && r.status === 200 && r.body;
    }, 60000);
    assert.equal(plcs.plcs.length, 3);
    await server.stop();
    await waitFor("the web interface to end with the server", () => request(`http://127.0.0.1:${port}/`).then(() => false, () => true));
});
