#include "boundary/com_exception.h"

#include "boundary/text.h"

namespace pellux {

COMException::COMException(HRESULT hresult, const char* message)
    : std::runtime_error(message), hresult(hresult), errorText("Unknown error.")
{
    lookUpErrorText(hresult, errorText);
}

void throwOutOfMemory()
{
    throw COMException(E_OUTOFMEMORY, "Out of memory");
}

} // namespace pellux
