"use strict";
// The server's data types, qualities and values as OPC UA sees them.
const { DataType, StatusCodes, Variant, VariantArrayType } = require("node-opcua");
const { QUALITY, RESULT, PLC_RESULT_RUN_MODE, isArrayType, elementType, isGood, isUncertain } = require("../common/door-words");

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
    const dataType = DATA_TYPES.get(elementType(vartype));
    if (dataType === undefined) return null;
    return { dataType, isArray: isArrayType(vartype) };
}

// OPC DA quality -> OPC UA status code.
function statusOfQuality(quality) {
    switch (quality) {
        case QUALITY.GOOD:
            return StatusCodes.Good;
        case QUALITY.DEVICE_FAILURE:
            return StatusCodes.BadDeviceFailure;
        case QUALITY.COMM_FAILURE:
            return StatusCodes.BadCommunicationError;
        case QUALITY.OUT_OF_SERVICE:
            return StatusCodes.BadOutOfService;
        case QUALITY.BAD:
            return StatusCodes.Bad;
    }
    if (isGood(quality)) return StatusCodes.Good;
    if (isUncertain(quality)) return StatusCodes.Uncertain;
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

// The status of a door value ({value, quality}): an item that has no value yet is uncertain.
function statusOfValue(slot) {
    const statusCode = statusOfQuality(slot.quality);
    if ((slot.value === null || slot.value === undefined) && statusCode === StatusCodes.Good) return StatusCodes.UncertainInitialValue;
    return statusCode;
}

// The status and value of one door value slot ({value, quality, timestamp} or {error}).
function dataValueOf(t, slot) {
    if (slot.error !== undefined)
        return { value: new Variant({ dataType: DataType.Null }), statusCode: StatusCodes.BadNodeIdUnknown, sourceTimestamp: null };
    return {
        value: variantOf(t, slot.value),
        statusCode: statusOfValue(slot),
        sourceTimestamp: slot.timestamp ? new Date(slot.timestamp) : null,
    };
}

// The OPC UA status of a write or read that failed, from the door's result code.
function statusOfFailure(result) {
    if (result.plcResult === PLC_RESULT_RUN_MODE) return StatusCodes.BadInvalidState;
    switch (result.code) {
        case RESULT.OPC_E_BADRIGHTS:
            return StatusCodes.BadNotWritable;
        case RESULT.OPC_E_BADTYPE:
            return StatusCodes.BadTypeMismatch;
        case RESULT.OPC_E_RANGE:
            return StatusCodes.BadOutOfRange;
        case RESULT.OPC_E_UNKNOWNITEMID:
            return StatusCodes.BadNodeIdUnknown;
        case RESULT.E_TIMEOUT:
            return StatusCodes.BadTimeout;
    }
    if (typeof result.quality === "number") {
        const s = statusOfQuality(result.quality);
        if (s !== StatusCodes.Good) return s;
    }
    return StatusCodes.BadCommunicationError;
}

module.exports = { uaTypeOf, statusOfQuality, statusOfValue, variantOf, jsonOfVariant, dataValueOf, statusOfFailure };
