// Acts as an antivirus scanner does on a new file, for the held-file tests:
//   scanner.exe <file> <size> <hold ms> [delete]
// Opens <file> as soon as it appears, while it is still being written
// (reading, sharing reading and writing but not deleting), waits until it
// holds <size> bytes, holds it <hold ms> more, lets go and, with "delete",
// deletes it. Exits 0 when it did, 1 when the file never came (30 s).
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    const long long size = std::wcstoll(argv[2], nullptr, 10);
    const DWORD hold_ms = std::wcstoul(argv[3], nullptr, 10);
    const bool remove = argc > 4 && std::wcscmp(argv[4], L"delete") == 0;
    const DWORD give_up = ::GetTickCount() + 30000;
    HANDLE file = INVALID_HANDLE_VALUE;
    while (file == INVALID_HANDLE_VALUE) {
        if (static_cast<int>(::GetTickCount() - give_up) > 0) return 1;
        file = ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) ::Sleep(2);
    }
    LARGE_INTEGER written{};
    while (::GetFileSizeEx(file, &written) && written.QuadPart < size) {
        if (static_cast<int>(::GetTickCount() - give_up) > 0) return 1;
        ::Sleep(2);
    }
    ::Sleep(hold_ms);
    ::CloseHandle(file);
    if (remove && !::DeleteFileW(argv[1])) return 1;
    return 0;
}
