#include "server/toolkit/result_codes.h"

const char* resultName(ToolkitResult r)
{
    switch (r) {
    case kResultOk: return "S_OK";
    case kResultFalse: return "S_FALSE";
    case kResultFail: return "E_FAIL";
    case kResultInvalidArg: return "E_INVALIDARG";
    case kResultOutOfMemory: return "E_OUTOFMEMORY";
    case kResultInvalidHandle: return "OPC_E_INVALIDHANDLE";
    case kResultBadType: return "OPC_E_BADTYPE";
    case kResultBadRights: return "OPC_E_BADRIGHTS";
    case kResultUnknownItemId: return "OPC_E_UNKNOWNITEMID";
    case kResultInvalidItemId: return "OPC_E_INVALIDITEMID";
    case kResultDuplicateName: return "OPC_E_DUPLICATENAME";
    case kResultTimeout: return "E_TIMEOUT";
    case kResultNotRunning: return "E_NOTRUNNING";
    default: return succeeded(r) ? "S_UNKNOWN" : "E_UNKNOWN";
    }
}
