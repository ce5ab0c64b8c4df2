"use strict";
// The server's data types, qualities and values as OPC UA sees them.
const { DataType, StatusCodes, Variant, VariantArrayType } = require("node-opcua");

const VT_ARRAY = 0x2000;

// Element VARTYPE -> OPC UA DataType.
const DATA_TYPES = new Map([
    [11, DataType.Boolean], // VT_BOOL
    [16, DataType.SByte], // VT_I1
    [17, DataType.Byte], // VT_UI1
    [2, DataType.Int16], // VT_I2
    [18, DataType.UInt16], // VT_UI2
    [3, DataType.Int32], // VT_I4
    [19, DataType.UInt32], // VT_UI4
    [4, DataType.Float], // VT_R4
    [5, DataType.Double], // VT_R8
    [8, DataType.String], // VT_BSTR
]);

// {dataType, isArray} of a VARTYPE; null for one the gateway cannot show.
function uaTypeOf(vartype) {
    const dataType = DATA_TYPES.get(vartype & ~VT_ARRAY);
    if (dataType === undefined) return null;
    return { dataType, isArray: (vartype & VT_ARRAY) !== 0 };
}

// OPC DA quality -> OPC UA status code.
function statusOfQuality(quality) {
    switch (quality) {
        case 0xc0:
            return StatusCodes.Good;
        case 0x0c:
            return StatusCodes.BadDeviceFailure;
        case 0x18:
            return StatusCodes.BadCommunicationError;
        case 0x1c:
            return StatusCodes.BadOutOfService;
        case 0x00:
            return StatusCodes.Bad;
    }
    if ((quality & 0xc0) === 0xc0) return StatusCodes.Good;
    if ((quality & 0xc0) === 0x40) return StatusCodes.Uncertain;
    return StatusCodes.Bad;
}

// The Variant of a door value for a node of type t ({dataType, isArray}).
function variantOf(t, value) {
    if (value === null || value === undefined) return new Variant({ dataType: DataType.Null });
    if (t.isArray) {
        const list = Array.isArray(value) ? value : [value];
        return new Variant({ dataType: t.dataType, arrayType: VariantArrayType.Array, value: list });
    }
    return new Variant({ dataType: t.dataType, value });
}

// The door's JSON of a Variant written by a client.
function jsonOfVariant(variant) {
    const v = variant.value;
    if (v === null || v === undefined) return null;
    if (variant.arrayType === VariantArrayType.Array) return Array.from(v);
    return v;
}

// The status and value of one door value slot ({value, quality, timestamp} or {error}).
function dataValueOf(t, slot) {
    if (slot.error !== undefined)
        return { value: new Variant({ dataType: DataType.Null }), statusCode: StatusCodes.BadNodeIdUnknown, sourceTimestamp: null };
    let statusCode = statusOfQuality(slot.quality);
    // An item that has no value yet.
    if ((slot.value === null || slot.value === undefined) && statusCode === StatusCodes.Good)
        statusCode = StatusCodes.UncertainInitialValue;
    return {
        value: variantOf(t, slot.value),
        statusCode,
        sourceTimestamp: slot.timestamp ? new Date(slot.timestamp) : null,
    };
}

// OPC DA result codes from the door -> OPC UA status of a write or read that failed.
const OPC_E_BADRIGHTS = 0xc0040006;
const OPC_E_BADTYPE = 0xc0040004;
const OPC_E_RANGE = 0xc004000b;
const OPC_E_UNKNOWNITEMID = 0xc0040007;
const E_TIMEOUT = 0x800705b4;

// The PLC's own result for a write it refused in RUN mode (end code 01).
const PLC_RESULT_RUN_MODE = 70;

function statusOfFailure(result) {
    if (result.plcResult === PLC_RESULT_RUN_MODE) return StatusCodes.BadInvalidState;
    switch (result.code) {
        case OPC_E_BADRIGHTS:
            return StatusCodes.BadNotWritable;
        case OPC_E_BADTYPE:
            return StatusCodes.BadTypeMismatch;
        case OPC_E_RANGE:
            return StatusCodes.BadOutOfRange;
        case OPC_E_UNKNOWNITEMID:
            return StatusCodes.BadNodeIdUnknown;
        case E_TIMEOUT:
            return StatusCodes.BadTimeout;
    }
    if (typeof result.quality === "number") {
        const s = statusOfQuality(result.quality);
        if (s !== StatusCodes.Good) return s;
    }
    return StatusCodes.BadCommunicationError;
}

module.exports = { uaTypeOf, statusOfQuality, variantOf, jsonOfVariant, dataValueOf, statusOfFailure };
