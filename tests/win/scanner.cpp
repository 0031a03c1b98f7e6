// Does to a new file what a virus scanner does, for the held-file tests:
//   scanner.exe <file> <size> <hold ms> [delete]
// Opens <file> as soon as it appears, while it is written (reading, sharing
// reading and writing, not deleting), waits for its <size> bytes, holds it
// <hold ms> more, lets go and, with "delete", deletes it.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    HANDLE file;
    while ((file = ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr)) == INVALID_HANDLE_VALUE) {
        ::Sleep(2);
    }
    LARGE_INTEGER size{};
    while (::GetFileSizeEx(file, &size) && size.QuadPart < std::wcstoll(argv[2], nullptr, 10)) {
        ::Sleep(2);
    }
    ::Sleep(std::wcstoul(argv[3], nullptr, 10));
    ::CloseHandle(file);
    if (argc > 4) ::DeleteFileW(argv[1]);
    return 0;
}
