// code32-probe: tells whether this x86-64 host lets a 64-bit process run
// 32-bit code, as Wine's WoW64 mode does (it switches to the 32-bit user code
// segment inside a 64-bit process). Some hosts run 64-bit user code only:
// there no mode of Wine can run a 32-bit Windows program. The switch is tried
// in a child process, so a fault ends only the child.
// Prints one line; exits 0 when 32-bit code ran, 1 when it did not.
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint64_t kUserCode32 = 0x23; // the kernel's 32-bit user code segment
constexpr std::uint64_t kUserCode64 = 0x33;

// Runs "mov eax, 32" in 32-bit mode and returns what eax held back in 64-bit mode.
int runThirtyTwoBitCode()
{
    void* page =
        mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (page == MAP_FAILED)
        return -1;
    auto* code = static_cast<unsigned char*>(page);
    const auto base = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(page));
    const std::uint32_t back = base + 0x100;
    // 32-bit: mov eax, 32; push 0x33; push back; retf
    unsigned char thirtyTwo[] = {0xB8, 32, 0, 0, 0, 0x6A, kUserCode64, 0x68, 0, 0, 0, 0, 0xCB};
    std::memcpy(thirtyTwo + 8, &back, 4);
    std::memcpy(code, thirtyTwo, sizeof thirtyTwo);
    code[0x100] = 0xC3; // 64-bit again: ret to the caller's label
    const std::uint64_t stack = base + 0x800;
    int result = 0;
    __asm__ volatile("lea 1f(%%rip), %%rax\n\t"
                     "mov %%rsp, %%rbx\n\t"
                     "mov %[stack], %%rsp\n\t"
                     "push %%rax\n\t"
                     "pushq %[cs32]\n\t"
                     "pushq %[entry]\n\t"
                     "lretq\n\t"
                     "1: mov %%rbx, %%rsp\n\t"
                     : "=&a"(result)
                     : [stack] "r"(stack), [cs32] "i"(kUserCode32), [entry] "r"(static_cast<std::uint64_t>(base))
                     : "rbx", "memory");
    return result;
}

} // namespace

int main()
{
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0)
        _exit(runThirtyTwoBitCode() == 32 ? 0 : 1);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        std::printf("could not start the 32-bit code probe\n");
        return 1;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        std::printf("a 64-bit process runs 32-bit code here\n");
        return 0;
    }
    if (WIFSIGNALED(status))
        std::printf("a 64-bit process cannot run 32-bit code here: switching to the 32-bit code segment "
                    "ends it with %s\n",
                    strsignal(WTERMSIG(status)));
    else
        std::printf("a 64-bit process cannot run 32-bit code here\n");
    return 1;
}
