// The two ways the polling side answers a queued client request.
#pragma once

#include <cstdint>

#include "server/hostlink/hostlink_result.h"
#include "server/tags/requests.h"
#include "server/toolkit/tag.h" // requests.h needs the complete tag type

// A normal completion: result 0, quality not valid (a read answers with the cache's quality).
void completeDone(PendingRequest& request);
// E_FAIL with the given write quality; cause, the transaction's result, goes along as the
// request's detail (a write refused in RUN mode is told apart from a line failure).
void completeFailed(PendingRequest& request, std::uint16_t quality, HostLinkResult cause = 0);
