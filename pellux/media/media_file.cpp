#include "media/media_file.h"

#include "boundary/com_exception.h"
#include "boundary/com_types.h"

namespace pellux {

BSTR javaStringToBstr(JNIEnv* env, jstring text) noexcept
{
    if (text == nullptr)
        return nullptr;
    const jsize length = env->GetStringLength(text);
    const jchar* characters = env->GetStringCritical(text, nullptr);
    if (characters == nullptr)
        return nullptr;
    static_assert(sizeof(jchar) == sizeof(OLECHAR), "UTF-16 code units");
    BSTR result = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(characters), static_cast<UINT>(length));
    env->ReleaseStringCritical(text, characters);
    return result;
}

Microsoft::WRL::ComPtr<IMediaDet> openMediaFile(JNIEnv* env, jstring path)
{
    Microsoft::WRL::ComPtr<IMediaDet> detector;
    throwIfFailed(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaDet,
                                   reinterpret_cast<void**>(detector.GetAddressOf())),
                  "CoCreateInstance failed - couldn't create MediaDet.");
    const Bstr name(javaStringToBstr(env, path));
    const HRESULT opened = detector->put_Filename(name.get());
    throwIfFailed(opened, "MediaDet->put_Filename failed");
    // S_FALSE and other success codes mean the file was not opened in full.
    if (opened != S_OK)
        throw COMException(opened, "MediaDet->put_Filename only partially succeeded.");
    return detector;
}

} // namespace pellux
