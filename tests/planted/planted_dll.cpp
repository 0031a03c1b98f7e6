// A DLL planted next to an exe. Loaded into a process, it appends one line to
// loaded.txt in its own folder: "<its file name> <the exe's file name>", the
// DLL's name in lower case (the loader names it as the importer spelled it).
#include <windows.h>

namespace {

const wchar_t* file_name(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    return name;
}

void record_load(HINSTANCE self) {
    wchar_t dll[MAX_PATH];
    wchar_t exe[MAX_PATH];
    if (::GetModuleFileNameW(self, dll, MAX_PATH) == 0) return;
    if (::GetModuleFileNameW(nullptr, exe, MAX_PATH) == 0) return;
    for (wchar_t* c = dll; *c != L'\0'; ++c) {
        if (*c >= L'A' && *c <= L'Z') *c = static_cast<wchar_t>(*c - L'A' + L'a');
    }

    wchar_t log[MAX_PATH + 16];
    ::lstrcpynW(log, dll, MAX_PATH);
    ::lstrcpyW(const_cast<wchar_t*>(file_name(log)), L"loaded.txt");

    char line[2 * MAX_PATH + 4];
    int length =
        ::WideCharToMultiByte(CP_UTF8, 0, file_name(dll), -1, line, MAX_PATH, nullptr, nullptr);
    if (length == 0) return;
    line[length - 1] = ' ';
    const int exe_length = ::WideCharToMultiByte(CP_UTF8, 0, file_name(exe), -1, line + length,
                                                 MAX_PATH, nullptr, nullptr);
    if (exe_length == 0) return;
    length += exe_length - 1;
    line[length++] = '\n';

    const HANDLE file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) record_load(self);
    return TRUE;
}
