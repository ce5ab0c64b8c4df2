// A client's read or write that must reach a tag, and its completion.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "server/toolkit/cmn_object.h"
#include "server/toolkit/result_codes.h"
#include "server/toolkit/variant.h"

class SODaSTag;

class SODaSRequest : public SOCmnObject {
public:
    enum Operation : std::uint8_t { read = 0, write = 1 };

    // Request types. Device reads (synchronous, asynchronous) must go to the PLC; the two other
    // read kinds (cache refresh, cyclic) are answered at once by the server.
    static constexpr std::uint16_t kSyncDeviceRead = 0x1005;
    static constexpr std::uint16_t kAsyncDeviceRead = 0x1006;
    static constexpr std::uint16_t kRefreshRead = 0x1009;
    static constexpr std::uint16_t kCyclicRead = 0x100A;
    static constexpr std::uint16_t kSyncWrite = 0x2005;
    static constexpr std::uint16_t kAsyncWrite = 0x2006;

    // Called exactly once, by complete(), on the completing thread (often the polling thread
    // with requestLock held): only hand the work to another thread from there.
    using CompletionHook = std::function<void(SODaSRequest&)>;

    SODaSRequest(Operation operation, std::uint16_t type, SOCmnPointer<SODaSTag> tag,
                 Variant writeValue = {}, CompletionHook hook = {});
    ~SODaSRequest() override;

    std::uint8_t getOperation() const { return operation_; }
    std::uint16_t getType() const { return type_; }
    bool isDeviceRead() const { return type_ == kSyncDeviceRead || type_ == kAsyncDeviceRead; }
    SOCmnPointer<SODaSTag> getItemTag() const;

    // The value to write, already in the tag's native datatype. False for reads.
    bool getWriteValue(Variant& out) const;

    void setPending();
    bool isPending() const;

    // Answers the client: result (S_OK or an error such as E_FAIL), whether quality is valid
    // and, if so, the quality the client sees (else a read answers with the cache's quality);
    // the two trailing values are kept and readable and change nothing else. A second complete
    // is ignored.
    void complete(ToolkitResult result = kResultOk, bool qualityValid = false, std::uint16_t quality = 0,
                  std::int32_t detail = 0, std::int32_t notify = 1);

    bool isCompleted() const;
    // Waits until completed; true when it was, within the time.
    bool waitCompleted(std::chrono::milliseconds timeout) const;
    ToolkitResult getResult() const;
    bool isQualityValid() const;
    std::uint16_t getQuality() const;
    std::int32_t getDetail() const;
    std::int32_t getNotify() const;

private:
    const std::uint8_t operation_;
    const std::uint16_t type_;
    const SOCmnPointer<SODaSTag> tag_;
    const Variant writeValue_;
    CompletionHook hook_;

    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    bool pending_ = false;
    bool completed_ = false;
    ToolkitResult result_ = kResultOk;
    bool qualityValid_ = false;
    std::uint16_t quality_ = 0;
    std::int32_t detail_ = 0;
    std::int32_t notify_ = 0;
};
