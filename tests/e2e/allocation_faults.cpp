// The fault sweeps' allocators: every C++ allocation of the process (the provider library's
// and the platform's included) and every calloc (the command core's argument array and
// address buffers) come here, and while faults of the kind PW_FAULT_MEMORY are armed the
// platform's counter picks the one that fails, as it would when memory runs out.
#include <pw_fault.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

void* Allocate(std::size_t size) noexcept {
    if (PwFaultCall(PW_FAULT_MEMORY)) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
    void* block = Allocate(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

}  // namespace

// Through malloc, so that the sanitizers still see the block and free takes it back.
extern "C" void* calloc(std::size_t count, std::size_t size) {
    if (size != 0 && count > static_cast<std::size_t>(-1) / size) {
        return nullptr;
    }
    void* block = Allocate(count * size);
    if (block != nullptr) {
        std::memset(block, 0, count == 0 || size == 0 ? 1 : count * size);
    }
    return block;
}

void* operator new(std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
