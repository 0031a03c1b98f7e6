// A DLL planted next to an exe. Loaded into a process, it appends a line to
// loaded.txt in its own folder: its file name in lower case (the loader
// spells it as the importer did), a space, and the exe's file name.
#include <windows.h>

namespace {

wchar_t* file_name(wchar_t* path) {
    wchar_t* name = path;
    for (wchar_t* p = path; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    return name;
}

void record_load(HINSTANCE self) {
    wchar_t dll[MAX_PATH], exe[MAX_PATH], line[2 * MAX_PATH + 2];
    if (!::GetModuleFileNameW(self, dll, MAX_PATH) ||
        !::GetModuleFileNameW(nullptr, exe, MAX_PATH)) {
        return;
    }
    ::lstrcpyW(line, file_name(dll));
    for (wchar_t* c = line; *c != L'\0'; ++c) *c = *c >= L'A' && *c <= L'Z' ? *c + 32 : *c;
    ::lstrcatW(::lstrcatW(::lstrcatW(line, L" "), file_name(exe)), L"\n");
    char bytes[sizeof line];
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof bytes, nullptr, nullptr);
    if (length <= 0) return;

    ::lstrcpyW(file_name(dll), L"loaded.txt");
    const HANDLE log = ::CreateFileW(dll, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(log, bytes, length - 1, &written, nullptr);
    ::CloseHandle(log);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) record_load(self);
    return TRUE;
}
