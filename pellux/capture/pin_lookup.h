#pragma once

#include <dshow.h>
#include <wrl/client.h>

namespace pellux {

// The filter's only pin of `direction`, or none when it has no such pin.
// Throws COMException when the pins cannot be enumerated or a direction read,
// and E_UNEXPECTED when the filter has more than one such pin.
Microsoft::WRL::ComPtr<IPin> findUniquePin(IBaseFilter& filter, PIN_DIRECTION direction);

} // namespace pellux
