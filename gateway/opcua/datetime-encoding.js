"use strict";
// The encoding of DateTime values without 64-bit integer objects. node-opcua turns every
// timestamp it sends into 100 ns ticks since 1601 with four Long objects: two a notification
// with both timestamps, twenty thousand a second at 10 000 changes a second, all garbage at
// once. The same two 32-bit halves come from double arithmetic here, exactly: the milliseconds
// since 1601 are split at 2^32 so that no product passes 2^53. Dates out of that range (before
// 1601, after about year 30 000, invalid) and unusual picoseconds keep node-opcua's own
// function, so that they encode as they always did.
const dateTime = require("node-opcua-date-time/dist/date_time.js");

const TWO_32 = 4294967296;
const OFFSET_MS = 11644473600000; // from 1601-01-01 to 1970-01-01
const TICKS_A_MS = 10000;
const MAX_MS = 9e14; // times 10 000, still below 2^63

// [high, low] signed 32-bit halves of the 100 ns ticks since 1601 of a Date and its
// picoseconds, as node-opcua's function returns them.
function ticksSince1601(original, date, picoseconds) {
    const ms = date.getTime() + OFFSET_MS;
    const excess = picoseconds !== undefined ? Math.floor(picoseconds / 100000) : 0;
    if (!(ms >= 0 && ms <= MAX_MS) || !(excess >= 0 && excess < TWO_32)) return original(date, picoseconds);
    const msHigh = Math.floor(ms / TWO_32);
    const low = (ms - msHigh * TWO_32) * TICKS_A_MS + excess;
    const carry = Math.floor(low / TWO_32);
    return [(msHigh * TICKS_A_MS + carry) | 0, (low - carry * TWO_32) | 0];
}

function install() {
    const original = dateTime.bn_dateToHundredNanoSecondFrom1601;
    if (original.$vorlask) return;
    const fast = (date, picoseconds) => ticksSince1601(original, date, picoseconds);
    fast.$vorlask = true;
    dateTime.bn_dateToHundredNanoSecondFrom1601 = fast;
}

module.exports = { install, ticksSince1601 };
