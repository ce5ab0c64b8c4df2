"use strict";
// What every gateway program does alike: its lines on standard error, the answers to --help,
// --version and a wrong command line, the door's comings and goings told, waiting for SIGINT
// or SIGTERM, and the exit.

// log(text) writes "NAME: text" on standard error.
function makeLog(name) {
    return (text) => process.stderr.write(`${name}: ${text}\n`);
}

// The exit code when the parsed command line ({help}, {version}, {error}) is answered here
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
        process.stderr.write(`Try '${name} --help'.\n`);
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

module.exports = { makeLog, answerCommandLine, tellDoor, untilStopped, run };
