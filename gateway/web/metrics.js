"use strict";
// The Prometheus metrics at /metrics: the PLCs' and lines' figures from the server's "stats",
// the door's client count, the MQTT publishers' buffers, and this process's own figures. Their names and labels are an
// interface that dashboards rely on (docs/web.md): add, never rename.
const client = require("prom-client");
const { readFigures, STATES } = require("../common/buffer-figures");

const PLC_LABELS = ["plc", "unit", "port"];

class Metrics {
    // bufferDir: the MQTT publishers' buffer folder.
    constructor(bufferDir) {
        this.bufferDir = bufferDir;
        this.registry = new client.Registry();
        client.collectDefaultMetrics({ register: this.registry });
        // Gauges named like counters: Prometheus's own lint refuses them.
        for (const name of ["nodejs_active_handles_total", "nodejs_active_requests_total", "nodejs_active_resources_total"])
            this.registry.removeSingleMetric(name);
        const r = [this.registry];
        const plc = (Kind, name, help) => new Kind({ name, help, labelNames: PLC_LABELS, registers: r });
        this.up = new client.Gauge({ name: "vorlask_up", help: "1 while the server's door answers, else 0", registers: r });
        this.clients = new client.Gauge({ name: "vorlask_door_clients", help: "Clients connected to the server's door (this one included)", registers: r });
        this.commands = plc(client.Counter, "vorlask_plc_commands_total", "Host Link commands sent to the PLC");
        this.failures = plc(client.Counter, "vorlask_plc_failures_total", "Failed transactions with the PLC");
        this.mean = plc(client.Gauge, "vorlask_plc_response_mean_seconds", "Mean time from a command's first character to the reply's last");
        this.max = plc(client.Gauge, "vorlask_plc_response_max_seconds", "Longest time from a command's first character to the reply's last");
        this.lastResult = plc(client.Gauge, "vorlask_plc_last_result", "Host Link result of the PLC's last cyclic read (0: good)");
        this.plcUp = plc(client.Gauge, "vorlask_plc_up", "1 while the PLC's last transaction worked, else 0");
        this.lastGoodRead = plc(client.Gauge, "vorlask_plc_last_good_read_timestamp_seconds", "When the PLC last answered a read well (0: never)");
        this.mode = new client.Gauge({ name: "vorlask_plc_mode", help: "1 for the mode the PLC reports (RUN, MONITOR, PROGRAM)", labelNames: [...PLC_LABELS, "mode"], registers: r });
        this.plcErrors = new client.Gauge({ name: "vorlask_plc_error", help: "1 while the PLC reports the error (fatal, fals)", labelNames: [...PLC_LABELS, "kind"], registers: r });
        this.busy = new client.Gauge({ name: "vorlask_line_busy_ratio", help: "Share of the last 10 s in which the line carried characters", labelNames: ["port"], registers: r });
        this.open = new client.Gauge({ name: "vorlask_line_open", help: "1 while the line is open, else 0", labelNames: ["port"], registers: r });
        const publisher = (Kind, name, help, labelNames = ["publisher"]) => new Kind({ name, help, labelNames, registers: r });
        this.buffered = publisher(client.Gauge, "vorlask_mqtt_buffered_changes", "Changes waiting in the MQTT publisher's buffer to be published");
        this.bufferBytes = publisher(client.Gauge, "vorlask_mqtt_buffer_bytes", "Size of the MQTT publisher's buffer on disk");
        this.dropped = publisher(client.Counter, "vorlask_mqtt_dropped_changes_total", "Changes the MQTT publisher dropped unpublished because its buffer was full");
        this.publisherState = publisher(client.Gauge, "vorlask_mqtt_state", "1 for the MQTT publisher's state: live, replaying (its buffer) or buffering (the broker or primary host away)", ["publisher", "state"]);
        this.fromFigures = [this.commands, this.failures, this.mean, this.max, this.lastResult, this.plcUp, this.lastGoodRead, this.mode, this.plcErrors, this.busy, this.open,
            this.buffered, this.bufferBytes, this.dropped, this.publisherState];
    }

    // The text for a scrape, from the figures (null when the door is not there).
    async text(figures) {
        for (const m of this.fromFigures) m.reset();
        this.up.set(figures ? 1 : 0);
        if (figures) {
            this.clients.set(figures.clients);
            for (const p of figures.plcs) {
                const labels = { plc: p.plc, unit: String(p.unit), port: p.port };
                this.commands.inc(labels, p.commands);
                this.failures.inc(labels, p.failures);
                this.mean.set(labels, p.responseMeanMs / 1000);
                this.max.set(labels, p.responseMaxMs / 1000);
                this.lastResult.set(labels, p.lastResult);
                this.plcUp.set(labels, p.lastResult === 0 && p.commands > 0 ? 1 : 0);
                this.lastGoodRead.set(labels, p.lastGoodRead / 1000);
                if (p.mode) this.mode.set({ ...labels, mode: p.mode }, 1);
                this.plcErrors.set({ ...labels, kind: "fatal" }, p.fatal ? 1 : 0);
                this.plcErrors.set({ ...labels, kind: "fals" }, p.fals ? 1 : 0);
            }
            for (const l of figures.lines) {
                this.busy.set({ port: l.port }, l.busyPct / 100);
                this.open.set({ port: l.port }, l.open ? 1 : 0);
            }
        } else this.clients.reset();
        for (const b of readFigures(this.bufferDir)) {
            const labels = { publisher: b.publisher };
            this.buffered.set(labels, b.buffered);
            this.bufferBytes.set(labels, b.bytes);
            this.dropped.inc(labels, b.dropped);
            for (const state of STATES) this.publisherState.set({ ...labels, state }, state === b.state ? 1 : 0);
        }
        return this.registry.metrics();
    }

    get contentType() {
        return this.registry.contentType;
    }
}

module.exports = { Metrics };
