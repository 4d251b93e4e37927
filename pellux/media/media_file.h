// Opening a media file with DirectShow's Media Detector, for one native call.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <jni.h>
#include <wrl/client.h>

namespace pellux {

// The Java string as a new BSTR of exactly its UTF-16 characters; null for a
// null reference or when its characters cannot be obtained.
BSTR javaStringToBstr(JNIEnv* env, jstring text) noexcept;

// A new Media Detector with the file `path` opened. Throws COMException when
// the detector cannot be made, the file cannot be opened, or it opens only in
// part (a success code other than S_OK). A null or unreadable path reaches
// the detector as a null name, which it refuses.
Microsoft::WRL::ComPtr<IMediaDet> openMediaFile(JNIEnv* env, jstring path);

} // namespace pellux
