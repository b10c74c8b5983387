// The installer is built without exceptions (cmake/SetupInstall.cmake,
// si_lean_code): nothing in it throws or catches. What the standard library
// would still throw (an allocation that fails, a string past its maximum
// length, an empty std::function called) ends the process here, as an
// uncaught exception did before through std::terminate, without linking the
// exception runtime, the unwinder, the demangler and the thread library it
// brings along. This module stands in the executable itself (like
// xp_compat.cpp), so the test programs keep the library's own versions.
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void Fail() noexcept { std::abort(); }

void* Allocate(std::size_t size) noexcept { return std::malloc(size ? size : 1); }

void* AllocateOrFail(std::size_t size) noexcept {
    void* p = Allocate(size);
    if (!p) Fail();
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrFail(size); }
void* operator new[](std::size_t size) { return AllocateOrFail(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

// The library's throw helpers (bits/functexcept.h), all of them: one left to
// the library would bring its whole module, and with it the others twice.
namespace std {
void __throw_bad_exception() { Fail(); }
void __throw_bad_alloc() { Fail(); }
void __throw_bad_array_new_length() { Fail(); }
void __throw_bad_cast() { Fail(); }
void __throw_bad_typeid() { Fail(); }
void __throw_logic_error(const char*) { Fail(); }
void __throw_domain_error(const char*) { Fail(); }
void __throw_invalid_argument(const char*) { Fail(); }
void __throw_length_error(const char*) { Fail(); }
void __throw_out_of_range(const char*) { Fail(); }
void __throw_out_of_range_fmt(const char*, ...) { Fail(); }
void __throw_runtime_error(const char*) { Fail(); }
void __throw_range_error(const char*) { Fail(); }
void __throw_overflow_error(const char*) { Fail(); }
void __throw_underflow_error(const char*) { Fail(); }
void __throw_bad_function_call() { Fail(); }
}  // namespace std
