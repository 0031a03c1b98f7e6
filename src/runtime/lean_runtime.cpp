// Linked into the shipped exe only. The program reports errors as results and
// never throws, so the C++ runtime's throwing paths (and the unwinder and
// demangler they drag in) are replaced by an immediate, quiet end. This keeps
// the exe small; an allocation failure or a broken invariant still ends the
// process instead of going on in a bad state.
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {
[[noreturn]] void die() {
    ::ExitProcess(3);
}
}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) die();
    return p;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace std {
void __throw_bad_alloc() {
    die();
}
void __throw_bad_array_new_length() {
    die();
}
void __throw_length_error(const char*) {
    die();
}
void __throw_logic_error(const char*) {
    die();
}
void __throw_out_of_range(const char*) {
    die();
}
void __throw_out_of_range_fmt(const char*, ...) {
    die();
}
void __throw_invalid_argument(const char*) {
    die();
}
void __throw_bad_function_call() {
    die();
}
void __throw_bad_optional_access() {
    die();
}
void __throw_system_error(int) {
    die();
}
}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    die();
}
}  // namespace __gnu_cxx
