"use strict";
// The status page: the PLCs and lines, the message lines, and a tag browser whose selected
// branch shows its items live, all from one event stream (/api/events). Text from the server
// only ever goes into textContent.
(() => {
    const $ = (id) => document.getElementById(id);
    const QUALITY = { 0: "bad", 4: "configuration error", 8: "not connected", 12: "device failure", 16: "sensor failure", 20: "last known value", 24: "communication failure", 28: "out of service", 64: "uncertain", 192: "good" };
    let session = { canWrite: false };
    let branches = [];
    let selected = null;
    let stream = null;
    const rows = new Map(); // item ID -> {tr, value, quality, time, item}

    function el(tag, text, cls) {
        const e = document.createElement(tag);
        if (text !== undefined && text !== null) e.textContent = String(text);
        if (cls) e.className = cls;
        return e;
    }

    function notice(text) {
        const n = $("notice");
        n.textContent = text;
        n.classList.add("shown");
        clearTimeout(notice.timer);
        notice.timer = setTimeout(() => n.classList.remove("shown"), 6000);
    }

    async function api(path, init) {
        const res = await fetch(path, { credentials: "same-origin", ...init });
        const body = await res.json().catch(() => ({}));
        if (!res.ok) throw new Error(body.error || `${res.status} ${res.statusText}`);
        return body;
    }

    function timeText(ms) {
        if (!ms) return "";
        const d = new Date(ms);
        const sameDay = d.toDateString() === new Date().toDateString();
        const t = `${d.toLocaleTimeString([], { hour12: false })}.${String(d.getMilliseconds()).padStart(3, "0")}`;
        return sameDay ? t : `${d.toLocaleDateString()} ${t}`;
    }

    // A PLC string's padding NULs dropped, other control characters shown as \xNN.
    function valueText(v) {
        if (v === null || v === undefined) return "";
        if (Array.isArray(v)) return v.join(", ");
        if (typeof v === "string")
            return v.replace(/\0+$/, "").replace(/[\x00-\x1f\x7f]/g, (c) => `\\x${c.charCodeAt(0).toString(16).padStart(2, "0")}`);
        return String(v);
    }

    // ---- PLCs and lines ----
    function plcState(p) {
        if (p.lastResult !== 0) return ["bad", p.lastText || `result ${p.lastResult}`];
        if (p.commands > 0) return ["good", "OK"];
        return ["unknown", "waiting"];
    }

    function showPlcs(f) {
        const body = $("plcs").tBodies[0];
        body.replaceChildren(...f.plcs.map((p) => {
            const [state, text] = plcState(p);
            const tr = el("tr", null, state === "bad" ? "bad" : "");
            tr.dataset.plc = p.plc;
            const badge = el("span", state === "good" ? "OK" : state === "bad" ? "failing" : "waiting", `state ${state}`);
            const stateCell = el("td");
            stateCell.append(badge);
            let mode = p.mode || "";
            if (p.fatal) mode += " fatal error";
            if (p.fals) mode += ` FALS${p.message ? `: ${p.message}` : ""}`;
            tr.append(el("td", p.plc), el("td", p.unit), el("td", p.port), stateCell, el("td", state === "good" ? "" : text),
                el("td", timeText(p.lastResultSince)), el("td", p.commands, "num"), el("td", p.failures, "num"),
                el("td", `${p.responseMeanMs} / ${p.responseMaxMs}`, "num"), el("td", `${p.lineBusyPct} %`, "num"),
                el("td", mode.trim()), el("td", p.model || ""));
            return tr;
        }));
    }

    function showLines(f) {
        $("lines").tBodies[0].replaceChildren(...f.lines.map((l) => {
            const open = el("td");
            open.append(el("span", l.open ? "open" : "closed", `state ${l.open ? "good" : "bad"}`));
            const tr = el("tr", null, l.open ? "" : "bad");
            tr.dataset.port = l.port;
            tr.append(el("td", l.port), open, el("td", timeText(l.openSince)), el("td", l.baud, "num"), el("td", `${l.busyPct} %`, "num"));
            return tr;
        }));
    }

    function showMessages(m) {
        $("messages").replaceChildren(...m.messages.map((line) => el("li", line)));
    }

    // ---- the tree ----
    function showTree() {
        const children = new Map();
        for (const b of branches) {
            if (!children.has(b.parent)) children.set(b.parent, []);
            children.get(b.parent).push(b);
        }
        const list = (parent) => {
            const ul = el("ul");
            for (const b of children.get(parent) || []) {
                const li = el("li");
                li.dataset.branch = b.branch;
                const button = el("button", b.name);
                button.type = "button";
                button.dataset.branch = b.branch;
                li.append(button);
                if (children.has(b.branch)) li.append(list(b.branch));
                ul.append(li);
            }
            return ul;
        };
        const root = el("ul");
        const all = el("li");
        const allButton = el("button", "All items");
        allButton.type = "button";
        allButton.dataset.branch = "";
        all.append(allButton, list(""));
        root.append(all);
        $("tree").replaceChildren(root);
        markSelected();
    }

    function markSelected() {
        for (const b of $("tree").querySelectorAll("button")) b.classList.toggle("selected", b.dataset.branch === selected);
    }

    function select(branch) {
        if (branch === selected) return;
        selected = branch;
        history.replaceState(null, "", `#${encodeURIComponent(branch)}`);
        markSelected();
        openStream();
    }

    // ---- items ----
    function showCatalog(items) {
        rows.clear();
        inView.clear();
        viewWatcher.disconnect();
        const frag = document.createDocumentFragment();
        for (const it of items) {
            const tr = el("tr");
            tr.dataset.item = it.item;
            const r = { tr, item: it, value: el("td", null, "value"), quality: el("td"), time: el("td") };
            const action = el("td");
            if (session.canWrite && it.access !== "READ") {
                const b = el("button", "Write…");
                b.type = "button";
                b.dataset.write = it.item;
                action.append(b);
            }
            const name = el("td", it.item);
            name.title = `${it.datatype}, ${it.access}${it.description ? ` — ${it.description}` : ""}`;
            tr.append(name, el("td", it.datatype), el("td", it.access), r.value, r.quality, r.time, action);
            rows.set(it.item, r);
            tr.row = r;
            update(r, it.value, it.quality, it.timestamp);
            viewWatcher.observe(tr);
            frag.append(tr);
        }
        $("items").tBodies[0].replaceChildren(frag);
        applyFilter();
    }

    function update(r, value, quality, ts) {
        r.value.textContent = valueText(value);
        r.value.title = r.value.textContent;
        const q = quality === null || quality === undefined ? "" : QUALITY[quality] || `quality ${quality}`;
        r.quality.textContent = q;
        r.quality.className = quality !== null && quality !== undefined && (quality & 0xc0) !== 0xc0 ? "q-bad" : "";
        r.time.textContent = timeText(ts);
        r.tr.dataset.ts = ts || 0;
    }

    // A branch may hold thousands of items that change each second, of which a screen shows a
    // few dozen: each row keeps its latest value, and only the rows in view are drawn, at most
    // once a frame; a row coming into view is drawn then.
    const inView = new Set(); // rows
    const viewWatcher = new IntersectionObserver((entries) => {
        for (const e of entries) {
            const r = e.target.row;
            if (e.isIntersecting) {
                inView.add(r);
                draw(r);
            } else inView.delete(r);
        }
    }, { root: document.querySelector(".items") });
    let frameAsked = false;

    function showChanges(changes) {
        for (const [id, value, quality, ts] of changes) {
            const r = rows.get(id);
            if (!r) continue;
            r.latest = [value, quality, ts];
            if (inView.has(r)) r.dirty = true;
        }
        if (!frameAsked) {
            frameAsked = true;
            requestAnimationFrame(() => {
                frameAsked = false;
                for (const r of inView) if (r.dirty) draw(r);
            });
        }
    }

    function draw(r) {
        r.dirty = false;
        if (r.latest) update(r, ...r.latest);
        r.latest = null;
    }

    function applyFilter() {
        const f = $("filter").value.trim().toLowerCase();
        let shown = 0;
        for (const r of rows.values()) {
            const hit = !f || r.item.item.toLowerCase().includes(f) || (r.item.description || "").toLowerCase().includes(f);
            r.tr.hidden = !hit;
            if (hit) shown++;
        }
        $("count").textContent = `${shown} of ${rows.size} items`;
        // Children before their parents, so that a parent stays when a child matches.
        for (const li of [...$("tree").querySelectorAll("li[data-branch]")].reverse())
            li.hidden = !!f && !li.dataset.branch.toLowerCase().includes(f) && !li.querySelector("li[data-branch]:not([hidden])");
    }

    // What the user typed as the item's value: a string item takes the text as it is; a number
    // or boolean is read as JSON; an array is JSON or its elements separated by commas. The
    // server converts it to the item's type and refuses what does not fit.
    function parseValue(text, datatype) {
        if (datatype === "VT_BSTR") return text;
        const one = (t) => {
            try {
                return JSON.parse(t.trim());
            } catch {
                return t.trim();
            }
        };
        if (/ARRAY/.test(datatype)) return text.trim().startsWith("[") ? one(text) : text.split(",").map(one);
        return one(text);
    }

    async function write(id) {
        const r = rows.get(id);
        const text = prompt(`New value for ${id} (${r.item.datatype})`, r.value.textContent);
        if (text === null) return;
        const value = parseValue(text, r.item.datatype);
        if (!confirm(`Write ${JSON.stringify(value)} to ${id}? The PLC's memory changes at once.`)) return;
        try {
            await api(`/api/items/${encodeURIComponent(id)}`, {
                method: "PUT",
                headers: { "Content-Type": "application/json" },
                body: JSON.stringify({ value }),
            });
            notice(`${id}: written`);
        } catch (e) {
            notice(`${id}: ${e.message}`);
        }
    }

    // ---- the stream ----
    function openStream() {
        if (stream) stream.close();
        stream = new EventSource(`/api/events?under=${encodeURIComponent(selected)}`);
        const on = (name, f) => stream.addEventListener(name, (e) => f(JSON.parse(e.data)));
        on("door", (d) => {
            if (d.up && branches.length === 0) loadBranches();
            const door = $("door");
            door.textContent = d.up ? "server connected" : "server not reachable";
            door.className = `state ${d.up ? "good" : "bad"}`;
            // Values shown while the server is away are old: greyed until it is back.
            $("items").classList.toggle("stale", !d.up);
            $("plcs").classList.toggle("stale", !d.up);
        });
        on("plcs", (f) => {
            showPlcs(f);
            showLines(f);
            if ($("door").classList.contains("good")) $("plcs").classList.remove("stale");
        });
        on("messages", showMessages);
        on("catalog", (items) => {
            $("items").classList.remove("stale");
            showCatalog(items);
        });
        on("items", showChanges);
        // The browser tries again after a lost connection, but not after a refusal (the
        // server's door was closed): then this page does, in a while.
        const mine = stream;
        stream.onerror = () => {
            $("door").textContent = "page not connected";
            $("door").className = "state bad";
            $("items").classList.add("stale");
            $("plcs").classList.add("stale");
            if (mine.readyState === EventSource.CLOSED)
                setTimeout(() => {
                    if (stream === mine) (branches.length ? openStream() : loadBranches());
                }, 3000);
        };
    }

    // The tree, and the branch to show: the one in the address, else the first.
    async function loadBranches() {
        branches = (await api("/api/branches").catch(() => ({ branches: [] }))).branches;
        let wanted = "";
        try {
            wanted = decodeURIComponent(location.hash.slice(1));
        } catch {
            // an address with a broken branch: the first branch
        }
        const first = branches.find((b) => b.parent === "");
        const branch = branches.some((b) => b.branch === wanted) ? wanted : first ? first.branch : "";
        showTree();
        if (branch !== selected || !stream || stream.readyState === EventSource.CLOSED) {
            selected = null;
            select(branch);
        }
    }

    async function start() {
        session = await api("/api/session");
        $("who").textContent = session.user ? `${session.user}${session.canWrite ? " (writes)" : ""}` : "";
        await loadBranches();
        $("tree").addEventListener("click", (e) => {
            const b = e.target.closest("button[data-branch]");
            if (b) select(b.dataset.branch);
        });
        $("items").addEventListener("click", (e) => {
            const b = e.target.closest("button[data-write]");
            if (b) write(b.dataset.write);
        });
        $("filter").addEventListener("input", applyFilter);
    }

    start().catch((e) => notice(e.message));
})();
