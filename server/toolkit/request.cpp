#include "server/toolkit/request.h"

#include "server/toolkit/tag.h"

SODaSRequest::SODaSRequest(Operation operation, std::uint16_t type, SOCmnPointer<SODaSTag> tag, Variant writeValue,
                           CompletionHook hook)
    : operation_(operation), type_(type), tag_(std::move(tag)), writeValue_(std::move(writeValue)), hook_(std::move(hook))
{
}

SODaSRequest::~SODaSRequest() = default;

SOCmnPointer<SODaSTag> SODaSRequest::getItemTag() const { return tag_; }

bool SODaSRequest::getWriteValue(Variant& out) const
{
    if (operation_ != write)
        return false;
    out = writeValue_;
    return true;
}

void SODaSRequest::setPending()
{
    std::lock_guard g(mutex_);
    pending_ = true;
}

bool SODaSRequest::isPending() const
{
    std::lock_guard g(mutex_);
    return pending_;
}

void SODaSRequest::complete(ToolkitResult result, bool qualityValid, std::uint16_t quality, std::int32_t detail,
                            std::int32_t notify)
{
    CompletionHook hook;
    {
        std::lock_guard g(mutex_);
        if (completed_)
            return;
        completed_ = true;
        pending_ = false;
        result_ = result;
        qualityValid_ = qualityValid;
        quality_ = quality;
        detail_ = detail;
        notify_ = notify;
        hook = std::move(hook_);
    }
    cv_.notify_all();
    if (hook)
        hook(*this);
}

bool SODaSRequest::isCompleted() const
{
    std::lock_guard g(mutex_);
    return completed_;
}

bool SODaSRequest::waitCompleted(std::chrono::milliseconds timeout) const
{
    std::unique_lock l(mutex_);
    return cv_.wait_for(l, timeout, [&] { return completed_; });
}

ToolkitResult SODaSRequest::getResult() const
{
    std::lock_guard g(mutex_);
    return result_;
}

bool SODaSRequest::isQualityValid() const
{
    std::lock_guard g(mutex_);
    return qualityValid_;
}

std::uint16_t SODaSRequest::getQuality() const
{
    std::lock_guard g(mutex_);
    return quality_;
}

std::int32_t SODaSRequest::getDetail() const
{
    std::lock_guard g(mutex_);
    return detail_;
}

std::int32_t SODaSRequest::getNotify() const
{
    std::lock_guard g(mutex_);
    return notify_;
}
