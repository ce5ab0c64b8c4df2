"use strict";
// The command line of vorlask-mqtt.
const os = require("node:os");
const { doorSocketPath } = require("../common/door-client");
const { isLoopback } = require("../common/program");
const { defaultBufferDir } = require("../common/buffer-figures");

const USAGE = `usage: vorlask-mqtt --broker URL [--socket PATH] [--node NAME] [--group NAME]
                    [--items PATTERN]... [--rate MS] [--format json|sparkplug]
                    [--allow-writes] [--user NAME --password-file FILE] [--ca FILE]
                    [--buffer-dir DIR] [--buffer-mb N] [--replay-rate N]
                    [--primary-host ID] [--help] [--version]

The MQTT publisher of Vorlask: it publishes the items of the running server (reached through
its local door) to an MQTT broker, as JSON or as Sparkplug B, and only their changes.

  --broker URL        the broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (TLS)
  --socket PATH       the server's door (default: $VORLASK_SOCKET, else
                      $XDG_RUNTIME_DIR/vorlask.sock, else /tmp/vorlask-UID/vorlask.sock,
                      else the service's /run/vorlask/vorlask.sock when only it is there)
  --node NAME         this gateway's name in the topics (default: the host name)
  --group NAME        the Sparkplug group (default vorlask)
  --items PATTERN     the items to publish, repeatable (default: every item). A pattern
                      with * or ? is a glob over the whole item ID (* also crosses dots:
                      "Press.*" is everything below Press); any other pattern is an item ID
                      or a branch path and takes that item or everything below the branch
  --rate MS           the update rate: the PLC is polled for the items at this rate and
                      their changes published at most this often (default 1000)
  --format FORMAT     json (default): vorlask/NODE/ITEM/PATH = {"value","quality","ts"},
                      retained, QoS 1, with vorlask/NODE/$status online/offline;
                      sparkplug: Sparkplug B, the gateway an edge node, each PLC a device
  --allow-writes      carry out writes: .../set messages (json) and DCMD (sparkplug);
                      without it they are ignored and counted
  --user NAME         the broker's user name
  --password-file FILE  the password, the first line of FILE (needs --user)
  --ca FILE           the certificate authority that signed the broker's certificate
  --buffer-dir DIR    where changes wait while the broker (or the primary host) is away, in
                      order, on disk (default: $STATE_DIRECTORY/mqtt under the service,
                      else $XDG_DATA_HOME/vorlask/mqtt, else ~/.local/share/vorlask/mqtt)
  --buffer-mb N       the most the waiting changes take on disk; past it the oldest are
                      dropped, counted and told (default 256)
  --replay-rate N     the changes a second published from the buffer when the broker is
                      back, before live data (default 5000)
  --primary-host ID   sparkplug: publish only while the host application ID says it is
                      online in spBv1.0/STATE/ID, keep the changes while it is offline
  --help, --version`;

const FORMATS = ["json", "sparkplug"];

// A topic level must not hold MQTT's wildcards or separator; Sparkplug names too.
function badTopicName(name) {
    return !name || /[+#/]/.test(name);
}

function isLoopbackUrl(url) {
    return isLoopback(url.replace(/^[a-z]+:\/\//i, "").replace(/(:\d+)?\/?$/, ""));
}

// {options} or {error}; {help} and {version} ask for those.
function parseOptions(argv) {
    const o = {
        broker: null, socket: null, node: os.hostname(), group: "vorlask", items: [], rate: 1000,
        format: "json", allowWrites: false, user: null, passwordFile: null, ca: null,
        bufferDir: null, bufferMb: 256, replayRate: 5000, primaryHost: null,
    };
    const takes = ["--broker", "--socket", "--node", "--group", "--items", "--rate", "--format", "--user", "--password-file", "--ca",
        "--buffer-dir", "--buffer-mb", "--replay-rate", "--primary-host"];
    for (let i = 0; i < argv.length; i++) {
        const a = argv[i];
        if (a === "--help" || a === "-h") return { help: true };
        if (a === "--version") return { version: true };
        if (a === "--allow-writes") {
            o.allowWrites = true;
            continue;
        }
        if (!takes.includes(a)) return { error: `unknown option "${a}"` };
        if (i + 1 >= argv.length) return { error: `${a} needs a value` };
        const v = argv[++i];
        if (a === "--broker") {
            // Never a password on the command line, where ps and the log would show it.
            if (/^[a-z]+:\/\/[^/]*@/i.test(v)) return { error: "--broker: no user or password in the URL; give --user and --password-file" };
            if (!/^(mqtts?|tcp|ssl|tls):\/\/[^/]+\/?$/.test(v)) return { error: `--broker: "${v}" is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]` };
            o.broker = v;
        } else if (a === "--socket") o.socket = v;
        else if (a === "--node") o.node = v;
        else if (a === "--group") o.group = v;
        else if (a === "--items") o.items.push(v);
        else if (a === "--rate") {
            if (!/^\d+$/.test(v) || +v < 10 || +v > 3600000) return { error: `--rate: "${v}" is not a number of milliseconds from 10 to 3600000` };
            o.rate = +v;
        } else if (a === "--format") {
            if (!FORMATS.includes(v)) return { error: `--format: "${v}" is not one of ${FORMATS.join(", ")}` };
            o.format = v;
        } else if (a === "--buffer-mb") {
            if (!/^\d+$/.test(v) || +v < 1 || +v > 1048576) return { error: `--buffer-mb: "${v}" is not a number of megabytes from 1 to 1048576` };
            o.bufferMb = +v;
        } else if (a === "--replay-rate") {
            if (!/^\d+$/.test(v) || +v < 10 || +v > 1000000) return { error: `--replay-rate: "${v}" is not a number of changes a second from 10 to 1000000` };
            o.replayRate = +v;
        } else if (a === "--buffer-dir") o.bufferDir = v;
        else if (a === "--primary-host") o.primaryHost = v;
        else if (a === "--user") o.user = v;
        else if (a === "--password-file") o.passwordFile = v;
        else if (a === "--ca") o.ca = v;
    }
    if (!o.broker) return { error: "--broker URL is needed" };
    if (badTopicName(o.node)) return { error: `--node: "${o.node}" cannot be a topic level (no /, + or #)` };
    if (badTopicName(o.group)) return { error: `--group: "${o.group}" cannot be a topic level (no /, + or #)` };
    if (o.passwordFile && !o.user) return { error: "--password-file needs --user" };
    if (o.primaryHost !== null && o.format !== "sparkplug") return { error: "--primary-host is for --format sparkplug" };
    if (o.primaryHost !== null && badTopicName(o.primaryHost)) return { error: `--primary-host: "${o.primaryHost}" cannot be a topic level (no /, + or #)` };
    o.bufferDir = o.bufferDir || defaultBufferDir(process.env);
    const plaintext = /^(mqtt|tcp):/i.test(o.broker);
    if (plaintext && o.ca) return { error: `--ca is for TLS: the broker URL ${o.broker} is plaintext (use mqtts://)` };
    if (plaintext && o.user && !isLoopbackUrl(o.broker))
        o.warning = `the password of ${o.user} travels in plaintext to ${o.broker}; use mqtts:// and --ca`;
    o.socket = doorSocketPath(o.socket);
    return { options: o };
}

// A predicate over item IDs for the --items patterns (none: every item).
function itemSelector(patterns) {
    if (patterns.length === 0) return () => true;
    const tests = patterns.map((p) => {
        if (/[*?]/.test(p)) {
            const re = new RegExp(`^${p.replace(/[.+^${}()|[\]\\]/g, "\\$&").replace(/\*/g, ".*").replace(/\?/g, ".")}$`);
            return (id) => re.test(id);
        }
        return (id) => id === p || id.startsWith(`${p}.`);
    });
    return (id) => tests.some((t) => t(id));
}

module.exports = { parseOptions, itemSelector, USAGE };
