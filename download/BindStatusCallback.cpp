#include "BindStatusCallback.h"

using namespace Qt::StringLiterals;

namespace velmora {
namespace {

QString readableSize(uint64_t bytes)
{
    if (bytes < 1024)
        return u"%1 B"_s.arg(bytes);
    const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    return QString::asprintf("%.1f %s", value, units[unit]);
}

} // namespace

QString progressText(uint64_t progress, uint64_t progressMax)
{
    if (progress <= 100)
        return u"%"_s;
    // No size to divide by: a percentage would mean nothing, the bytes so far do.
    if (progressMax == 0)
        return readableSize(progress);
    const long double percent = static_cast<long double>(progress) / progressMax * 100.0L;
    return QString::asprintf("%.2Lf", percent) + u'%';
}

TBindStatusCallback::TBindStatusCallback(RowReports& reports, const std::atomic<bool>* abort)
    : reports_(reports), abort_(abort)
{}

void TBindStatusCallback::SetRowIndex(int32_t row)
{
    RowIndex = row;
}

HResult TBindStatusCallback::QueryInterface(InterfaceId id, void** object)
{
    if (id == InterfaceId::BindStatusCallback || id == InterfaceId::Unknown) {
        *object = static_cast<IBindStatusCallback*>(this);
        AddRef();
        return HResult::Ok;
    }
    *object = nullptr;
    return HResult::NoInterface;
}

int32_t TBindStatusCallback::AddRef()
{
    return ++RefCount;
}

int32_t TBindStatusCallback::Release()
{
    return --RefCount;
}

HResult TBindStatusCallback::OnStartBinding(uint32_t, void*)
{
    return HResult::NotImpl;
}

HResult TBindStatusCallback::GetPriority(int32_t*)
{
    return HResult::NotImpl;
}

HResult TBindStatusCallback::OnLowResource(uint32_t)
{
    return HResult::NotImpl;
}

HResult TBindStatusCallback::OnProgress(uint64_t progress, uint64_t progressMax, BindStatus,
                                        const QString&)
{
    reports_.SetRowProgress(RowIndex, progressText(progress, progressMax));
    if (progress == progressMax) {
        reports_.SetRowCaption(RowIndex, u"完成"_s + QString::number(RowIndex));
        reports_.SetRowProgress(RowIndex, u"100%"_s);
        reports_.EnableTimer();
        CompletionReported = true;
    } else {
        reports_.SetRowCaption(RowIndex, QString::number(RowIndex) + u"下载中..."_s);
    }
    return abort_ && abort_->load() ? HResult::Abort : HResult::Ok;
}

HResult TBindStatusCallback::OnStopBinding(HResult, const QString&)
{
    return HResult::NotImpl;
}

HResult TBindStatusCallback::GetBindInfo(uint32_t*, void*)
{
    return HResult::NotImpl;
}

HResult TBindStatusCallback::OnDataAvailable(uint32_t, uint32_t, void*, void*)
{
    return HResult::NotImpl;
}

HResult TBindStatusCallback::OnObjectAvailable(InterfaceId, void*)
{
    return HResult::NotImpl;
}

} // namespace velmora
