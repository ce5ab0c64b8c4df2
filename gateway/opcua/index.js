"use strict";
// vorlask-opcua: the OPC UA server of Vorlask, a client of the server's local door.
const fs = require("node:fs");
const os = require("node:os");
const { parseOptions, USAGE } = require("./options");
const { passwordMatchesAsync, printPasswordHash, loadUsers } = require("../common/users");
const { makeLog, answerCommandLine, tellDoor, untilStopped, run } = require("../common/program");
// node-opcua takes a second or two to load: only once the command line asks for a server.
let ua = null;

const VERSION = process.env.VORLASK_VERSION || require("./package.json").version;
const MANUFACTURER = "MOLV Automation S.r.l.";

const log = makeLog("vorlask-opcua");

function securitySettings(modes) {
    const { MessageSecurityMode, SecurityPolicy } = ua;
    const securityModes = [];
    if (modes.includes("none")) securityModes.push(MessageSecurityMode.None);
    if (modes.includes("sign")) securityModes.push(MessageSecurityMode.Sign);
    if (modes.includes("signandencrypt")) securityModes.push(MessageSecurityMode.SignAndEncrypt);
    const securityPolicies = [];
    if (modes.includes("none")) securityPolicies.push(SecurityPolicy.None);
    if (modes.includes("sign") || modes.includes("signandencrypt")) securityPolicies.push(SecurityPolicy.Basic256Sha256);
    return { securityModes, securityPolicies };
}

// Who may do what in our namespace. Without --users every session is anonymous and may write
// what the items allow; with it, anonymous sessions are refused, users read, and writers (the
// Operator role) write. Every session also counts as Anonymous, so that role only reads then.
function rolePermissions(withUsers) {
    const { PermissionType, WellKnownRoles } = ua;
    const read = PermissionType.Browse | PermissionType.Read | PermissionType.ReadRolePermissions;
    const write = read | PermissionType.Write;
    return [
        { roleId: WellKnownRoles.Anonymous, permissions: withUsers ? read : write },
        { roleId: WellKnownRoles.AuthenticatedUser, permissions: read },
        { roleId: WellKnownRoles.Operator, permissions: write },
    ];
}

function userManager(users) {
    const { WellKnownRoles, makeRoles } = ua;
    return {
        // Off the event loop; an unknown name costs as much as a known one.
        isValidUserAsync: (name, password, callback) => {
            const u = users.get(name);
            passwordMatchesAsync(password, u ? u.hash : null).then((ok) => callback(null, ok && !!u));
        },
        getUserRoles: (name) => {
            const u = users.get(name);
            if (!u) return makeRoles([WellKnownRoles.Anonymous]);
            return makeRoles(u.writer ? [WellKnownRoles.AuthenticatedUser, WellKnownRoles.Operator] : [WellKnownRoles.AuthenticatedUser]);
        },
    };
}

// Only the identities we check are offered and taken: anonymous without a users file, user
// name and password with one. node-opcua would otherwise also offer X509 user certificates,
// which we have no way to map to a user.
function offerOnlyCheckedTokens(server, withUsers) {
    const { UserTokenType } = ua;
    const wanted = withUsers ? UserTokenType.UserName : UserTokenType.Anonymous;
    for (const endpoint of server.endpoints)
        for (const description of endpoint.endpointDescriptions())
            description.userIdentityTokens = (description.userIdentityTokens || []).filter((t) => t.tokenType === wanted);
}

// What one client may take of the server. A durable subscription outlives its session and keeps
// PLCs polled: refused to anonymous sessions, and at most a day for a user.
const MAX_DURABLE_HOURS = 24;
function serverLimits(o) {
    return {
        maxConnectionsPerEndpoint: o.maxSessions,
        serverCapabilities: {
            maxSessions: o.maxSessions,
            maxSubscriptionsPerSession: o.maxSubscriptions,
            maxSubscriptions: o.maxSubscriptions * o.maxSessions,
            maxMonitoredItems: o.maxMonitoredItems,
            maxMonitoredItemsPerSubscription: o.maxMonitoredItems,
            maxArrayLength: 65535,
            maxStringLength: 65535,
            maxByteStringLength: 65535,
            operationLimits: {
                maxNodesPerRead: 10000,
                maxNodesPerWrite: 1000,
                maxNodesPerBrowse: 1000,
                maxNodesPerTranslateBrowsePathsToNodeIds: 1000,
                maxMonitoredItemsPerCall: 10000,
                maxNodesPerMethodCall: 100,
                maxNodesPerRegisterNodes: 1000,
            },
        },
    };
}

function limitDurableSubscriptions(server) {
    const { MethodIds, StatusCodes, UserNameIdentityToken, makeNodeId } = ua;
    const method = server.engine.addressSpace.findNode(makeNodeId(MethodIds.Server_SetSubscriptionDurable));
    const original = method && method._asyncExecutionFunction;
    if (typeof original !== "function") return; // not offered at all
    method.bindMethod((inputArguments, context, callback) => {
        const token = context.session && context.session.userIdentityToken;
        if (!(token instanceof UserNameIdentityToken)) return callback(null, { statusCode: StatusCodes.BadUserAccessDenied });
        const hours = inputArguments[1] && inputArguments[1].value;
        if (!hours || hours > MAX_DURABLE_HOURS) inputArguments[1].value = MAX_DURABLE_HOURS;
        original(inputArguments, context, callback);
    });
}

function loadOpcua() {
    ua = require("node-opcua");
    // node-opcua's own warnings, on our standard error; the note about RSA PKCS#1 v1.5
    // decryption (which no policy we offer uses) is left out.
    require("node-opcua-debug").setWarningLogger((_context, ...args) => {
        const text = args.map(String).join(" ");
        if (!text.includes("NODE-OPCUA-W27") && !text.includes("CVE-2023-46809")) log(`warning: ${text}`);
    });
    require("./datetime-encoding").install();
}

async function main() {
    const parsed = parseOptions(process.argv.slice(2));
    if (parsed.hashPassword) return printPasswordHash(log);
    const answered = answerCommandLine("vorlask-opcua", parsed, USAGE, VERSION, log);
    if (answered !== null) return answered;
    const o = parsed.options;
    const users = o.users ? loadUsers(o.users, log) : null;
    if (o.users && !users) return 2;

    loadOpcua();
    const { OPCUAServer, OPCUACertificateManager } = ua;
    const { DoorClient } = require("../common/door-client");
    const { Gateway, NAMESPACE_URI } = require("./gateway");

    fs.mkdirSync(o.pki, { recursive: true, mode: 0o700 });
    const certificateManager = new OPCUACertificateManager({ rootFolder: o.pki, automaticallyAcceptUnknownCertificate: false });
    await certificateManager.initialize();

    const server = new OPCUAServer({
        port: o.port,
        host: o.host,
        hostname: o.host,
        resourcePath: "",
        serverCertificateManager: certificateManager,
        ...securitySettings(o.security),
        allowAnonymous: !users,
        userManager: users ? userManager(users) : undefined,
        // A user certificate store that trusts nothing (no user tokens of that kind are taken).
        userCertificateManager: new OPCUACertificateManager({ rootFolder: `${o.pki}/users`, automaticallyAcceptUnknownCertificate: false }),
        ...serverLimits(o),
        buildInfo: {
            productName: "Vorlask",
            productUri: NAMESPACE_URI,
            manufacturerName: MANUFACTURER,
            softwareVersion: VERSION,
            buildNumber: VERSION,
            buildDate: fs.statSync(__filename).mtime,
        },
        serverInfo: {
            applicationName: { text: "Vorlask", locale: "en" },
            // One URI for this installation whatever its address and port: the certificate,
            // made on first start, names it.
            applicationUri: `${NAMESPACE_URI}:${os.hostname()}`,
            productUri: NAMESPACE_URI,
        },
    });
    offerOnlyCheckedTokens(server, !!users);
    try {
        await server.initialize();
    } catch (e) {
        log(`cannot start: ${e.message}`);
        return 1;
    }
    limitDurableSubscriptions(server);

    const door = new DoorClient(o.socket);
    const gateway = new Gateway(door, server.engine.addressSpace, log);
    gateway.namespace.setDefaultRolePermissions(rolePermissions(!!users));

    // Reads: the door answers for our Variables, from its cache or (MaxAge 0) from the PLC,
    // before the server reads the nodes.
    const engine = server.engine;
    const refreshValues = engine.refreshValues.bind(engine);
    engine.refreshValues = (nodesToRefresh, maxAge, callback) => {
        gateway.refresh(nodesToRefresh, maxAge).finally(() => refreshValues(nodesToRefresh, maxAge, callback));
    };
    // Monitored items: their items are polled while they exist.
    server.on("create_session", (session) => {
        session.on("new_subscription", (subscription) => {
            subscription.on("monitoredItem", (mi) => gateway.watch(mi));
            subscription.on("removeMonitoredItem", (mi) => gateway.unwatch(mi));
        });
    });

    tellDoor(door, o.socket, log);
    door.start();

    try {
        await server.start();
    } catch (e) {
        log(`cannot listen on ${o.host}:${o.port}: ${e.message}`);
        door.stop();
        gateway.stop();
        return 1;
    }
    process.stdout.write(`opc.tcp://${o.host.includes(":") ? `[${o.host}]` : o.host}:${o.port}\n`);

    await untilStopped();
    gateway.stop();
    door.stop();
    await server.shutdown(500);
    return 0;
}

run(main, log);
