#pragma once

#include "BindStatus.h"

#include <QString>
#include <atomic>

namespace velmora {

// Where a download's notifications go: the caption and the progress column of its row in the
// download table, and the timer that starts the next download.
class RowReports
{
public:
    virtual void SetRowCaption(int32_t row, const QString& caption) = 0;
    virtual void SetRowProgress(int32_t row, const QString& progress) = 0;
    virtual void EnableTimer() = 0;

protected:
    ~RowReports() = default;
};

// The progress text of a notification: the percentage with two decimals once more than 100 bytes
// have arrived, "%" alone before; with the size unknown, the bytes received so far.
QString progressText(uint64_t progress, uint64_t progressMax);

// The progress callback of one download, reporting into one row of the download table. Its
// reference count only counts: the worker that creates it also destroys it.
class TBindStatusCallback final : public IBindStatusCallback
{
public:
    // abort, when given, is checked at every notification: once set the transfer is ended.
    explicit TBindStatusCallback(RowReports& reports, const std::atomic<bool>* abort = nullptr);

    void SetRowIndex(int32_t row);

    HResult QueryInterface(InterfaceId id, void** object) override;
    int32_t AddRef() override;
    int32_t Release() override;
    HResult OnStartBinding(uint32_t reserved, void* binding) override;
    HResult GetPriority(int32_t* priority) override;
    HResult OnLowResource(uint32_t reserved) override;
    HResult OnProgress(uint64_t progress, uint64_t progressMax, BindStatus status,
                       const QString& statusText) override;
    HResult OnStopBinding(HResult result, const QString& error) override;
    HResult GetBindInfo(uint32_t* flags, void* bindInfo) override;
    HResult OnDataAvailable(uint32_t flags, uint32_t size, void* format, void* medium) override;
    HResult OnObjectAvailable(InterfaceId id, void* object) override;

    int32_t RowIndex = 0;
    int32_t RefCount = 0;
    // Whether any notification reported equal counts, which re-arms the timer.
    bool CompletionReported = false;

private:
    RowReports& reports_;
    const std::atomic<bool>* abort_;
};

} // namespace velmora
