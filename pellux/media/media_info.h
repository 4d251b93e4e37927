// The streams of a media file as a Java MediaInfo.
#pragma once

#include "media/media_type_converter.h"

#include <qedit.h>
#include <jni.h>

namespace pellux {

// A new local MediaInfo holding one Stream per output stream of `detector`, in
// stream order; null with a Java exception pending when a Java object cannot
// be made. Throws COMException for a failed detector call and
// std::runtime_error for an unsupported format block. Each stream's local
// references live in a local frame of their own, popped before the next one.
jobject collectStreams(const MediaTypeConverter& converter, IMediaDet& detector);

// Seconds as DirectShow reference time: 100-nanosecond units, cut toward zero.
jlong toReferenceTime(double seconds) noexcept;

} // namespace pellux
