#include "server/polling/request_completion.h"

#include "server/toolkit/quality.h"
#include "server/toolkit/result_codes.h"

namespace {
constexpr std::uint16_t kCompletionQuality = 0x40;
}

void completeDone(PendingRequest& request) {
    if (request.request) {
        request.request->complete(kResultOk, false, kCompletionQuality, 0, 1);
        request.request.reset(); // the reference taken when it was queued
    }
}

void completeFailed(PendingRequest& request, std::uint16_t quality, HostLinkResult cause) {
    if (request.request) {
        request.request->complete(kResultFail, true, quality, cause, 1);
        request.request.reset();
    }
}
