// An IMediaSample over a buffer of its own, for feeding SampleCB directly.
#pragma once

#include "com_fakes.h"

#include <dshow.h>

#include <vector>

namespace capdev {

class FakeMediaSample : public comfake::Object<IMediaSample> {
public:
    explicit FakeMediaSample(long size) : buffer(static_cast<size_t>(size)), length(size) {}

    std::vector<BYTE>& bytes() { return buffer; }
    void setLength(long actual) { length = actual; }
    // A media time start, or none (GetMediaTime then answers VFW_E_MEDIA_TIME_NOT_SET).
    void setMediaTime(const LONGLONG* start)
    {
        hasMediaTime = start != nullptr;
        if (start != nullptr)
            mediaStart = *start;
    }
    void setPointerResult(HRESULT result) { pointerResult = result; }
    void setReportedSize(long size) { reportedSize = size; }

    STDMETHODIMP GetPointer(BYTE** pointer) override
    {
        if (FAILED(pointerResult))
            return pointerResult;
        *pointer = buffer.data();
        return S_OK;
    }
    STDMETHODIMP_(long) GetSize() override
    {
        return reportedSize >= 0 ? reportedSize : static_cast<long>(buffer.size());
    }
    STDMETHODIMP GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return VFW_E_SAMPLE_TIME_NOT_SET; }
    STDMETHODIMP SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
    STDMETHODIMP IsSyncPoint() override { return S_OK; }
    STDMETHODIMP SetSyncPoint(BOOL) override { return S_OK; }
    STDMETHODIMP IsPreroll() override { return S_FALSE; }
    STDMETHODIMP SetPreroll(BOOL) override { return S_OK; }
    STDMETHODIMP_(long) GetActualDataLength() override { return length; }
    STDMETHODIMP SetActualDataLength(long actual) override
    {
        length = actual;
        return S_OK;
    }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override
    {
        *type = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
    STDMETHODIMP IsDiscontinuity() override { return S_FALSE; }
    STDMETHODIMP SetDiscontinuity(BOOL) override { return S_OK; }
    STDMETHODIMP GetMediaTime(LONGLONG* start, LONGLONG* stop) override
    {
        if (!hasMediaTime)
            return VFW_E_MEDIA_TIME_NOT_SET;
        *start = mediaStart;
        *stop = mediaStart + 1;
        return S_OK;
    }
    STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return S_OK; }

private:
    std::vector<BYTE> buffer;
    long length;
    long reportedSize = -1;
    bool hasMediaTime = false;
    LONGLONG mediaStart = 0;
    HRESULT pointerResult = S_OK;
};

} // namespace capdev
