#include "malloc_spy.h"

#include <objbase.h>

#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace comfake {
namespace {

std::string addressOf(const void* memory)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%p", memory);
    return text;
}

// The spy proper. COM calls it on whichever thread allocates; its record is
// guarded by its own lock. A Pre call and its Post call come from one thread,
// so what passes between them is kept per thread.
class MallocSpy : public IMallocSpy {
public:
    static MallocSpy& instance()
    {
        // Never destroyed: COM keeps the spy until the process ends.
        static MallocSpy* spy = new MallocSpy();
        return *spy;
    }

    void beginScope()
    {
        std::lock_guard<std::mutex> guard(lock);
        if (scope != 0)
            throw std::logic_error("task memory scopes do not nest");
        scope = ++lastScope;
        current = TaskMemoryReport{};
    }

    TaskMemoryReport endScope()
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto& [memory, block] : blocks) {
            if (block.scope == scope) {
                current.leaks.push_back(std::to_string(block.size) + " bytes at " + addressOf(memory));
                block.scope = 0;
            }
        }
        scope = 0;
        return current;
    }

    size_t unknownOutsideScopes()
    {
        std::lock_guard<std::mutex> guard(lock);
        return unknownOutside;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
            *out = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override
    {
        pendingSize = size;
        return size;
    }
    STDMETHODIMP_(void*) PostAlloc(void* actual) override
    {
        if (actual != nullptr)
            record(actual, pendingSize);
        return actual;
    }

    // Memory the spy never handed out is not given to the heap: Windows' heap
    // does not forgive a double or a garbage free, and the test reports it.
    STDMETHODIMP_(void*) PreFree(void* request, BOOL) override { return forget(request) ? request : nullptr; }
    STDMETHODIMP_(void) PostFree(BOOL) override {}

    STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override
    {
        *newRequest = request;
        pendingRealloc = request;
        pendingSize = size;
        return size;
    }
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override
    {
        void* const old = std::exchange(pendingRealloc, nullptr);
        if (actual == nullptr && pendingSize != 0)
            return actual; // failed: the old block stays as it was
        if (old != nullptr)
            forget(old);
        if (actual != nullptr)
            record(actual, pendingSize);
        return actual;
    }

    // SysFreeString asks for a string's size before it frees it, and under
    // Wine gives up silently when the heap does not know the block. So a size
    // asked for memory the spy never handed out counts as an unknown free.
    STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override
    {
        if (request != nullptr && !known(request)) {
            unknownFree(request);
            unknownSizeQuery = request;
        }
        return request;
    }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T actual, BOOL) override { return actual; }

    STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}

private:
    MallocSpy()
    {
        turnBstrCacheOff();
        if (FAILED(CoRegisterMallocSpy(this)))
            throw std::runtime_error("CoRegisterMallocSpy failed: another spy is registered");
    }

    static void turnBstrCacheOff()
    {
        using SetOaNoCache = void(WINAPI*)();
        HMODULE oleaut32 = GetModuleHandleW(L"oleaut32.dll");
        if (oleaut32 == nullptr)
            oleaut32 = LoadLibraryW(L"oleaut32.dll");
        const auto setNoCache =
            oleaut32 != nullptr ? reinterpret_cast<SetOaNoCache>(GetProcAddress(oleaut32, "SetOaNoCache")) : nullptr;
        if (setNoCache == nullptr)
            throw std::runtime_error("oleaut32 has no SetOaNoCache: its BSTR cache cannot be turned off");
        setNoCache();
    }

    struct Block {
        SIZE_T size;
        unsigned scope; // 0: allocated outside any scope, or reported already
    };

    void record(void* memory, SIZE_T size)
    {
        std::lock_guard<std::mutex> guard(lock);
        blocks[memory] = Block{size, scope};
        if (scope != 0)
            ++current.allocated;
    }

    bool known(void* memory)
    {
        std::lock_guard<std::mutex> guard(lock);
        return blocks.count(memory) != 0;
    }

    // Removes a block from the record; false when it was not there.
    bool forget(void* memory)
    {
        if (memory == nullptr)
            return true;
        // The size query of a SysFreeString reported this free already.
        const bool reported = std::exchange(unknownSizeQuery, nullptr) == memory;
        {
            std::lock_guard<std::mutex> guard(lock);
            const auto found = blocks.find(memory);
            if (found != blocks.end()) {
                if (scope != 0 && found->second.scope == scope)
                    ++current.freed;
                blocks.erase(found);
                return true;
            }
        }
        if (!reported)
            unknownFree(memory);
        return false;
    }

    void unknownFree(void* memory)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (scope != 0)
            current.unknownFrees.push_back(addressOf(memory));
        else
            ++unknownOutside;
    }

    std::mutex lock;
    std::unordered_map<void*, Block> blocks;
    unsigned scope = 0;
    unsigned lastScope = 0;
    TaskMemoryReport current;
    size_t unknownOutside = 0;
    static thread_local SIZE_T pendingSize;
    static thread_local void* pendingRealloc;
    static thread_local void* unknownSizeQuery;
};

thread_local SIZE_T MallocSpy::pendingSize = 0;
thread_local void* MallocSpy::pendingRealloc = nullptr;
thread_local void* MallocSpy::unknownSizeQuery = nullptr;

} // namespace

TaskMemoryScope::TaskMemoryScope()
{
    MallocSpy::instance().beginScope();
}

TaskMemoryScope::~TaskMemoryScope()
{
    if (!finished)
        finish();
}

TaskMemoryReport TaskMemoryScope::finish()
{
    finished = true;
    return MallocSpy::instance().endScope();
}

size_t unknownFreesOutsideScopes()
{
    return MallocSpy::instance().unknownOutsideScopes();
}

} // namespace comfake
