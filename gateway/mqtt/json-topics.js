"use strict";
// What the JSON format makes of item IDs and values, and what it reads from a set message:
// plain functions, without the broker.

// The topic of an item below root: its ID with "/" for "."; null when the ID holds a
// wildcard that no topic may carry.
function itemTopic(root, id) {
    if (/[+#]/.test(id)) return null;
    return `${root}/${id.split(".").join("/")}`;
}

// The subscriptions that take every item topic's .../set: one per depth of the topics.
function setFilters(root, topics) {
    const depths = new Set([...topics].map((t) => t.split("/").length - root.split("/").length));
    return [...depths].map((d) => `${root}/${"+/".repeat(d)}set`);
}

// The message of a value: {"value", "quality", "ts"}.
function valuePayload(value, quality, ts) {
    return JSON.stringify({ value, quality, ts });
}

// The request of a set message: {value} or {error}.
function parseSetRequest(payload) {
    let request;
    try {
        request = JSON.parse(payload.toString("utf8"));
    } catch {
        request = null;
    }
    if (!request || typeof request !== "object" || Array.isArray(request) || !("value" in request))
        return { error: 'the message is not {"value": V}' };
    return { value: request.value };
}

module.exports = { itemTopic, setFilters, valuePayload, parseSetRequest };
