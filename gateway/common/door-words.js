"use strict";
// The words of the door (docs/door.md) that every gateway reads: a VARTYPE's array flag, the
// access rights bits, the OPC DA qualities and the result codes of a failed request.
const VT_ARRAY = 0x2000;
const RIGHT_READ = 1;
const RIGHT_WRITE = 2;

const QUALITY_MASK = 0xc0;
const QUALITY = {
    BAD: 0x00,
    DEVICE_FAILURE: 0x0c,
    COMM_FAILURE: 0x18,
    OUT_OF_SERVICE: 0x1c,
    UNCERTAIN: 0x40,
    GOOD: 0xc0,
};
const QUALITY_TEXT = new Map([
    [0x00, "bad"], [0x04, "configuration error"], [0x08, "not connected"], [0x0c, "device failure"],
    [0x10, "sensor failure"], [0x14, "last known value"], [0x18, "communication failure"],
    [0x1c, "out of service"], [0x40, "uncertain"], [0xc0, "good"],
]);

const RESULT = {
    OPC_E_INVALIDHANDLE: 0xc0040001,
    OPC_E_BADTYPE: 0xc0040004,
    OPC_E_BADRIGHTS: 0xc0040006,
    OPC_E_UNKNOWNITEMID: 0xc0040007,
    OPC_E_RANGE: 0xc004000b,
    E_FAIL: 0x80004005,
    E_INVALIDARG: 0x80070057,
    E_TIMEOUT: 0x800705b4, // the PLC did not answer in time; a write's outcome is unknown
};

// The PLC's own result for a write it refused in RUN mode (end code 01), as "plcResult".
const PLC_RESULT_RUN_MODE = 70;

const isArrayType = (vartype) => (vartype & VT_ARRAY) !== 0;
const elementType = (vartype) => vartype & ~VT_ARRAY;
const isReadable = (rights) => (rights & RIGHT_READ) !== 0;
const isWritable = (rights) => (rights & RIGHT_WRITE) !== 0;
const isGood = (quality) => (quality & QUALITY_MASK) === QUALITY.GOOD;
const isUncertain = (quality) => (quality & QUALITY_MASK) === QUALITY.UNCERTAIN;
const qualityText = (quality) => QUALITY_TEXT.get(quality) || `quality ${quality}`;

module.exports = {
    QUALITY, RESULT, PLC_RESULT_RUN_MODE,
    isArrayType, elementType, isReadable, isWritable, isGood, isUncertain, qualityText,
};
