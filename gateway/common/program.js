"use strict";
// What every gateway program does alike: its lines on standard error, the answers to --help,
// --version and a wrong command line, the door's comings and goings told, waiting for SIGINT
// or SIGTERM, and the exit.

// Control characters as \xNN, so that a name from the network or a file (an item, a topic, a
// metric) cannot break a log line or forge another one.
function escapeControls(text) {
    return String(text).replace(/[\x00-\x1f\x7f]/g, (c) => `\\x${c.charCodeAt(0).toString(16).padStart(2, "0")}`);
}

// Whether a host name or address (IPv6 with or without brackets) is this machine's loopback.
function isLoopback(host) {
    const h = String(host).replace(/^\[(.*)\]$/, "$1");
    return h === "localhost" || h === "::1" || /^127\.\d+\.\d+\.\d+$/.test(h);
}

// log(text) writes "NAME: text" on standard error, one line whatever text holds.
function makeLog(name) {
    return (text) => process.stderr.write(`${name}: ${escapeControls(text)}\n`);
}

// The exit code when the parsed command line ({help}, {version}, {error[, refusal]}) is answered here
// without starting; null when the program is to run.
function answerCommandLine(name, parsed, usage, version, log) {
    if (parsed.help) {
        process.stdout.write(usage + "\n");
        return 0;
    }
    if (parsed.version) {
        process.stdout.write(`${name} ${version}\n`);
        return 0;
    }
    if (parsed.error) {
        log(parsed.error);
        // A refusal (an unsafe address, say) is its one line; a wrong command line gets a hint.
        if (!parsed.refusal) process.stderr.write(`Try '${name} --help'.\n`);
        return 2;
    }
    return null;
}

// A line for each connection to the door and each loss, and one when the server is not there
// within two seconds of starting.
function tellDoor(door, socketPath, log) {
    let seen = false;
    door.on("up", () => {
        log(`connected to the server at ${socketPath}`);
        seen = true;
    });
    door.on("down", () => log("the server's door closed; connecting again"));
    door.on("shutdown", () => log("the server is shutting down"));
    door.on("refused", (why) => log(`not connecting: ${why}`));
    setTimeout(() => {
        if (!seen) log(`waiting for the server at ${socketPath}`);
    }, 2000).unref();
}

function untilStopped() {
    return new Promise((resolve) => {
        process.once("SIGINT", resolve);
        process.once("SIGTERM", resolve);
    });
}

// Runs main (a promise of the exit code) and exits with its code; 1 when it throws.
function run(main, log) {
    main().then(
        (code) => process.exit(code),
        (e) => {
            log(e.stack || String(e));
            process.exit(1);
        },
    );
}

module.exports = { isLoopback, makeLog, escapeControls, answerCommandLine, tellDoor, untilStopped, run };
