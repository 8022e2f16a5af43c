#pragma once

#include <QString>
#include <cstdint>

namespace velmora {

// Result codes of the download callback interface: success, not implemented, no such interface,
// and abort, which a callback returns from OnProgress to end its transfer.
enum class HResult : int32_t
{
    Ok = 0,
    NotImpl,
    NoInterface,
    Abort,
    Fail
};

// Interfaces a callback object can be asked for.
enum class InterfaceId
{
    Unknown,
    BindStatusCallback,
    Other
};

// What a progress notification reports.
enum class BindStatus : uint32_t
{
    BeginDownloadData = 4,
    DownloadingData = 5,
    EndDownloadData = 6
};

class IUnknown
{
public:
    virtual HResult QueryInterface(InterfaceId id, void** object) = 0;
    virtual int32_t AddRef() = 0;
    virtual int32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

// The callback a download reports through, on the thread that asked for the download. The
// operations and their order are those of the classic binding callback; a download calls
// OnProgress with byte counts (received, expected; expected 0 while unknown) and OnStopBinding
// once with its outcome.
class IBindStatusCallback : public IUnknown
{
public:
    virtual HResult OnStartBinding(uint32_t reserved, void* binding) = 0;
    virtual HResult GetPriority(int32_t* priority) = 0;
    virtual HResult OnLowResource(uint32_t reserved) = 0;
    virtual HResult OnProgress(uint64_t progress, uint64_t progressMax, BindStatus status,
                               const QString& statusText) = 0;
    virtual HResult OnStopBinding(HResult result, const QString& error) = 0;
    virtual HResult GetBindInfo(uint32_t* flags, void* bindInfo) = 0;
    virtual HResult OnDataAvailable(uint32_t flags, uint32_t size, void* format, void* medium) = 0;
    virtual HResult OnObjectAvailable(InterfaceId id, void* object) = 0;

protected:
    ~IBindStatusCallback() = default;
};

} // namespace velmora
