#include "malloc_spy.h"

#include "block_table.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace comfake {
namespace {

std::string addressOf(const void* memory)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%p", memory);
    return text;
}

std::string describe(const Block& block)
{
    return std::to_string(block.size) + " bytes at " + addressOf(block.memory);
}

// A pointer-sized value of the calling thread's own, in a Win32 TLS slot:
// reading and writing one never allocates, unlike a C++ thread_local.
class ThreadValue {
public:
    ThreadValue() : slot(TlsAlloc())
    {
        if (slot == TLS_OUT_OF_INDEXES)
            throw std::runtime_error("no TLS slot left for the malloc spy");
    }
    ~ThreadValue() { TlsFree(slot); }
    ThreadValue(const ThreadValue&) = delete;
    ThreadValue& operator=(const ThreadValue&) = delete;

    void* get() const noexcept { return TlsGetValue(slot); }
    void set(const void* value) noexcept { TlsSetValue(slot, const_cast<void*>(value)); }
    void* exchange(const void* value) noexcept
    {
        void* const old = get();
        set(value);
        return old;
    }

private:
    DWORD slot;
};

// An SRW lock never fails and never allocates.
class Exclusive {
public:
    explicit Exclusive(SRWLOCK& lock) noexcept : lock(lock) { AcquireSRWLockExclusive(&lock); }
    ~Exclusive() { ReleaseSRWLockExclusive(&lock); }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;

private:
    SRWLOCK& lock;
};

// Unknown frees, counted without allocating: the first addresses are kept.
struct UnknownFrees {
    static constexpr size_t kKept = 64;
    void* addresses[kKept];
    size_t count = 0;

    void note(void* memory) noexcept
    {
        if (count < kKept)
            addresses[count] = memory;
        ++count;
    }
    std::vector<std::string> describe() const
    {
        std::vector<std::string> described;
        for (size_t index = 0; index < count; ++index)
            described.push_back(index < kKept ? addressOf(addresses[index]) : "(address not kept)");
        return described;
    }
};

// The spy proper. COM calls it on whichever thread allocates, under COM's
// own allocator lock; its record is guarded by its own lock as well, since
// scopes begin and end outside COM. A Pre call and its Post call come from
// one thread, so what passes between them is kept per thread.
class MallocSpy final : public IMallocSpy {
public:
    static MallocSpy& instance()
    {
        // Never destroyed: COM keeps the spy until the process ends.
        static MallocSpy* spy = new MallocSpy();
        return *spy;
    }

    // What was freed while no scope was open is checked and given back
    // first, so that nothing of it is charged to the scope.
    void beginScope()
    {
        settleOutside();
        Exclusive guard(lock);
        if (scope != 0)
            throw std::logic_error("task memory scopes do not nest");
        scope = ++lastScope;
        allocated = 0;
        freed = 0;
        unknown.count = 0;
    }

    TaskMemoryReport endScope()
    {
        TaskMemoryReport report;
        std::vector<void*> kept;
        {
            Exclusive guard(lock);
            report.allocated = allocated;
            report.freed = freed;
            blocks.forEach([&](Block& block) { closeBlock(block, report, kept); });
            report.unknownFrees = unknown.describe();
            report.unrecorded = std::exchange(unrecorded, 0);
            scope = 0;
        }
        giveBack(kept);
        return report;
    }

    TaskMemoryReport outside()
    {
        settleOutside();
        Exclusive guard(lock);
        TaskMemoryReport report;
        report.allocated = allocatedOutside;
        report.freed = freedOutside;
        blocks.forEach([&](const Block& block) {
            if (block.state == BlockState::Live && block.outside)
                report.leaks.push_back(describe(block));
        });
        report.unknownFrees = unknownOutside.describe();
        report.writesAfterFree = writesOutside;
        report.unrecorded = unrecordedOutside;
        return report;
    }

    size_t unknownOutsideScopes()
    {
        Exclusive guard(lock);
        return unknownOutside.count;
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
        pendingSize.set(reinterpret_cast<void*>(size));
        return size;
    }
    STDMETHODIMP_(void*) PostAlloc(void* actual) override
    {
        if (actual != nullptr)
            record(actual, reinterpret_cast<SIZE_T>(pendingSize.get()));
        return actual;
    }

    // A block of this scope is kept from the heap, filled; memory the spy
    // never handed out is not given to the heap either: Windows' heap does
    // not forgive a double or a garbage free, and the test reports it.
    STDMETHODIMP_(void*) PreFree(void* request, BOOL spied) override
    {
        if (request == nullptr)
            return request;
        // The size query of a SysFreeString reported this free already.
        const bool reported = sizeQueried.exchange(nullptr) == request;
        {
            Exclusive guard(lock);
            if (Block* block = blocks.find(request))
                return freeRecorded(*block, reported);
        }
        if (passesThrough(request, spied))
            return request;
        if (!reported)
            noteUnknown(request);
        return nullptr;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}

    STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL spied) override
    {
        *newRequest = request;
        pendingSize.set(reinterpret_cast<void*>(size));
        pendingRealloc.set(nullptr);
        if (request == nullptr)
            return size;
        const BlockState state = stateOf(request);
        if (state == BlockState::Live) {
            pendingRealloc.set(request);
            return size;
        }
        if (state == BlockState::Empty && passesThrough(request, spied))
            return size;
        // Freed or foreign memory: not handed to the heap; a new block instead.
        noteUnknown(request);
        *newRequest = nullptr;
        return size;
    }
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override
    {
        void* const old = pendingRealloc.exchange(nullptr);
        const SIZE_T size = reinterpret_cast<SIZE_T>(pendingSize.get());
        if (actual == nullptr && size != 0)
            return actual; // failed: the old block stays as it was
        if (old != nullptr)
            forget(old);
        if (actual != nullptr)
            record(actual, size);
        return actual;
    }

    // SysFreeString asks for a string's size before it frees it, and under
    // Wine gives up silently when the heap does not know the block. So a size
    // asked for memory freed already or never handed out counts as an
    // unknown free.
    STDMETHODIMP_(void*) PreGetSize(void* request, BOOL spied) override
    {
        if (request == nullptr)
            return request;
        const BlockState state = stateOf(request);
        if (state == BlockState::Live || (state == BlockState::Empty && passesThrough(request, spied)))
            return request;
        noteUnknown(request);
        sizeQueried.set(request);
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
        if (FAILED(CoGetMalloc(MEMCTX_TASK, &taskAllocator)))
            throw std::runtime_error("CoGetMalloc failed");
        turnBstrCacheOff();
        if (FAILED(CoRegisterMallocSpy(this)))
            throw std::runtime_error("CoRegisterMallocSpy failed: another spy is registered");
        // Wine's allocator reads its table of spied blocks, made by the first
        // allocation, when it is asked for a block's size or owner: asked
        // earlier, it reads through a null pointer.
        CoTaskMemFree(CoTaskMemAlloc(1));
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

    // A block the spy has no record of that is still the allocator's own
    // goes to the heap untouched: one COM saw allocated under the spy when the
    // table had no room for it (reported then, as unrecorded), or one the
    // allocator holds from before the spy was registered. COM clears the flag
    // for a block the spy keeps, so the spy's own record is asked first.
    // DidAlloc answers 1 for its own, 0 for another's, and on Windows -1 when
    // it cannot tell: only 1 makes the block the allocator's. Called outside
    // the spy's lock: the allocator calls the spy back.
    bool passesThrough(void* request, BOOL spied) const { return spied || taskAllocator->DidAlloc(request) == 1; }

    void record(void* memory, SIZE_T size)
    {
        Exclusive guard(lock);
        Block* const block = blocks.insert(memory);
        if (block == nullptr) {
            ++(scope != 0 ? unrecorded : unrecordedOutside);
            return;
        }
        *block = Block{memory, size, scope, BlockState::Live, scope == 0};
        ++(scope != 0 ? allocated : allocatedOutside);
    }

    // Empty: not recorded.
    BlockState stateOf(void* memory)
    {
        Exclusive guard(lock);
        const Block* const block = blocks.find(memory);
        return block != nullptr ? block->state : BlockState::Empty;
    }

    // Under the lock: what PreFree gives COM to free for a recorded block.
    void* freeRecorded(Block& block, bool reported)
    {
        void* const memory = block.memory;
        switch (block.state) {
        case BlockState::Releasing:
            if (releasing.get() != this)
                break; // another thread frees a kept block while its scope ends
            blocks.erase(block);
            return memory;
        case BlockState::Live:
            countFree(block);
            keep(block);
            return nullptr;
        default:
            break;
        }
        if (!reported)
            unknownFrees().note(memory);
        return nullptr;
    }

    void countFree(const Block& block)
    {
        if (block.outside)
            ++freedOutside;
        else if (scope != 0 && block.scope == scope)
            ++freed;
    }

    void keep(Block& block)
    {
        std::memset(block.memory, kFreedTaskMemory, block.size);
        block.state = BlockState::Kept;
        block.scope = scope;
        block.outside = false;
    }

    void forget(void* memory)
    {
        Exclusive guard(lock);
        if (Block* block = blocks.find(memory)) {
            countFree(*block);
            blocks.erase(*block);
        }
    }

    void noteUnknown(void* memory)
    {
        Exclusive guard(lock);
        unknownFrees().note(memory);
    }

    // Under the lock.
    UnknownFrees& unknownFrees() { return scope != 0 ? unknown : unknownOutside; }

    // Under the lock, at the end of the scope.
    void closeBlock(Block& block, TaskMemoryReport& report, std::vector<void*>& kept)
    {
        if (block.scope != scope)
            return;
        if (block.state == BlockState::Live) {
            report.leaks.push_back(describe(block));
            block.scope = 0;
        } else if (block.state == BlockState::Kept) {
            closeKept(block, report.writesAfterFree, kept);
        }
    }

    // Under the lock: a kept block is checked for writes since its free and
    // marked to go back to the heap.
    static void closeKept(Block& block, std::vector<std::string>& writes, std::vector<void*>& kept)
    {
        const auto* const bytes = static_cast<const unsigned char*>(block.memory);
        if (std::any_of(bytes, bytes + block.size, [](unsigned char byte) { return byte != kFreedTaskMemory; }))
            writes.push_back(describe(block));
        block.state = BlockState::Releasing;
        kept.push_back(block.memory);
    }

    // Blocks freed while no scope was open (kept with no scope) are checked,
    // their writes after free added to the report between scopes, and given back.
    void settleOutside()
    {
        std::vector<void*> kept;
        {
            Exclusive guard(lock);
            blocks.forEach([&](Block& block) {
                if (block.state == BlockState::Kept && block.scope == 0)
                    closeKept(block, writesOutside, kept);
            });
        }
        giveBack(kept);
    }

    // Back to the heap through COM, outside the lock: the spy lets these through.
    void giveBack(const std::vector<void*>& kept)
    {
        releasing.set(this);
        for (void* memory : kept)
            CoTaskMemFree(memory);
        releasing.set(nullptr);
    }

    SRWLOCK lock = SRWLOCK_INIT;
    BlockTable blocks;
    IMalloc* taskAllocator = nullptr;
    unsigned scope = 0;
    unsigned lastScope = 0;
    size_t allocated = 0;
    size_t freed = 0;
    UnknownFrees unknown;
    size_t allocatedOutside = 0;
    size_t freedOutside = 0;
    UnknownFrees unknownOutside;
    std::vector<std::string> writesOutside;
    size_t unrecorded = 0;        // during the open scope
    size_t unrecordedOutside = 0; // while no scope was open
    ThreadValue pendingSize;
    ThreadValue pendingRealloc;
    ThreadValue sizeQueried;
    ThreadValue releasing; // the spy, on the thread that gives a scope's kept blocks back
};

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

TaskMemoryReport outsideScopes()
{
    return MallocSpy::instance().outside();
}

size_t unknownFreesOutsideScopes()
{
    return MallocSpy::instance().unknownOutsideScopes();
}

} // namespace comfake
