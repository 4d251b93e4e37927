#include "capture/pin_lookup.h"

#include "boundary/com_exception.h"

using Microsoft::WRL::ComPtr;

namespace pellux {

ComPtr<IPin> findUniquePin(IBaseFilter& filter, PIN_DIRECTION direction)
{
    ComPtr<IEnumPins> pins;
    throwIfFailed(filter.EnumPins(&pins), "Failed to enumerate filter's pins.");
    ComPtr<IPin> found;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION pinDirection = PINDIR_INPUT;
        throwIfFailed(pin->QueryDirection(&pinDirection), "Failed to get pin direction.");
        if (pinDirection != direction)
            continue;
        if (found)
            throw COMException(E_UNEXPECTED, "Found more than one matching pin on this filter.");
        found = pin;
    }
    return found;
}

} // namespace pellux
