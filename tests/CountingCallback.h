#pragma once

#include "BindStatus.h"

#include <atomic>
#include <utility>
#include <vector>

// A download callback for tests and benchmarks that keeps the raw counts and the outcome, and
// ends the transfer once abort, when given, is set.
struct CountingCallback final : velmora::IBindStatusCallback
{
    using HResult = velmora::HResult;
    using InterfaceId = velmora::InterfaceId;

    std::vector<std::pair<uint64_t, uint64_t>> counts;
    int stops = 0;
    HResult stopResult = HResult::NotImpl;
    const std::atomic<bool>* abort = nullptr;

    HResult QueryInterface(InterfaceId, void**) override { return HResult::NoInterface; }
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    HResult OnStartBinding(uint32_t, void*) override { return HResult::NotImpl; }
    HResult GetPriority(int32_t*) override { return HResult::NotImpl; }
    HResult OnLowResource(uint32_t) override { return HResult::NotImpl; }
    HResult OnProgress(uint64_t progress, uint64_t max, velmora::BindStatus,
                       const QString&) override
    {
        counts.emplace_back(progress, max);
        return abort && abort->load() ? HResult::Abort : HResult::Ok;
    }
    HResult OnStopBinding(HResult result, const QString&) override
    {
        ++stops;
        stopResult = result;
        return HResult::Ok;
    }
    HResult GetBindInfo(uint32_t*, void*) override { return HResult::NotImpl; }
    HResult OnDataAvailable(uint32_t, uint32_t, void*, void*) override { return HResult::NotImpl; }
    HResult OnObjectAvailable(InterfaceId, void*) override { return HResult::NotImpl; }
};
