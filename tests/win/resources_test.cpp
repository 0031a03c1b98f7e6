// The shipped exe's resources, read back through the calls Windows itself
// uses: version information as Explorer reads it, the manifest as the loader
// turns it into an activation context, the first icon group as the shell
// picks and decodes an icon of each size.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "text/utf.h"
#include "win_test_support.h"

namespace {

const std::wstring kExe = wine_path(environment("VANTREL_EXE"));

std::string resource(HMODULE module, const wchar_t* name, const wchar_t* type) {
    const HRSRC found = ::FindResourceW(module, name, type);
    if (found == nullptr) return {};
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    return std::string(data, ::SizeofResource(module, found));
}

// The first icon group, as the shell takes it for the file's icon.
std::string first_icon_group(HMODULE module) {
    std::string group;
    ::EnumResourceNamesW(
        module, RT_GROUP_ICON,
        [](HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR out) -> BOOL {
            *reinterpret_cast<std::string*>(out) = resource(module, name, RT_GROUP_ICON);
            return FALSE;
        },
        reinterpret_cast<LONG_PTR>(&group));
    return group;
}

TEST(Resources, VersionInformation) {
    DWORD zero = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(kExe.c_str(), &zero);
    std::vector<char> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(kExe.c_str(), 0, size, block.data()));
    void* value = nullptr;
    UINT length = 0;
    const std::string version = VANTREL_PROJECT_VERSION;
    const std::pair<const wchar_t*, std::string> strings[] = {
        {L"CompanyName", "Vantrel"},
        {L"FileDescription", "Vantrel Bootstrapper"},
        {L"FileVersion", version},
        {L"InternalName", "VantrelBootstrapper"},
        {L"LegalCopyright", "Copyright (C) 2026 Vantrel"},
        {L"OriginalFilename", "VantrelBootstrapper.exe"},
        {L"ProductName", "Vantrel"},
        {L"ProductVersion", version},
    };
    for (const auto& [name, text] : strings) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        ASSERT_TRUE(::VerQueryValueW(block.data(), path.c_str(), &value, &length)) << text;
        EXPECT_EQ(from_wide_lossy(static_cast<const wchar_t*>(value)), text);
    }
    // The numbers Windows compares: the same version, then 0.
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(version.c_str(), "%u.%u.%u", &major, &minor, &patch), 3);
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", &value, &length));
    const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed.dwFileVersionMS, major << 16 | minor);
    EXPECT_EQ(fixed.dwFileVersionLS, patch << 16);
    EXPECT_EQ(fixed.dwProductVersionMS, fixed.dwFileVersionMS);
    EXPECT_EQ(fixed.dwProductVersionLS, fixed.dwFileVersionLS);
}

TEST(Resources, ManifestAsTheLoaderReadsIt) {
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = kExe.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    const HANDLE context = ::CreateActCtxW(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << ::GetLastError();

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION run_level{};
    ASSERT_TRUE(::QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext,
                               &run_level, sizeof run_level, nullptr));
    EXPECT_EQ(run_level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(run_level.UiAccess, 0u);

    // The current SDK's layout, which Windows 10 and 11 and Wine fill in;
    // MinGW's headers have the older one, without MaxVersionTested.
    struct {
        DWORD count;
        struct {
            GUID id;
            DWORD type;
            ULONGLONG max_version_tested;
        } os[8];
    } compatibility{};
    ASSERT_TRUE(::QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                               &compatibility, sizeof compatibility, nullptr));
    std::vector<std::string> supported;
    for (DWORD i = 0; i < compatibility.count; ++i) {
        const GUID& id = compatibility.os[i].id;
        char text[40];
        std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                      id.Data1, id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                      id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
        supported.push_back(text);
    }
    EXPECT_EQ(supported, (std::vector<std::string>{
                             "35138b9a-5d96-4fbd-8e2d-a2440225f93a",  // Windows 7
                             "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",  // Windows 8
                             "1f676c76-80e1-4239-95bb-83d0f6d0da78",  // Windows 8.1
                             "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a",  // Windows 10 and 11
                         }));

    const std::pair<const wchar_t*, const char*> settings[] = {
        {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", "dpiAware"},
        {L"http://schemas.microsoft.com/SMI/2017/WindowsSettings", "gdiScaling"},
    };
    std::vector<std::string> values;
    for (const auto& [name_space, name] : settings) {
        wchar_t value[16] = {};
        const bool found = ::QueryActCtxSettingsW(0, context, name_space, to_wide(name).c_str(),
                                                  value, std::size(value), nullptr);
        values.push_back(std::string(name) + "=" + (found ? from_wide_lossy(value) : "(none)"));
    }
    EXPECT_EQ(values, (std::vector<std::string>{"dpiAware=false", "gdiScaling=true"}));
    ::ReleaseActCtx(context);
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bit_count;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(Resources, FirstIconGroupDecodedAtEachSize) {
    const HMODULE exe = ::LoadLibraryExW(kExe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    std::string group = first_icon_group(exe);
    ASSERT_GE(group.size(), 6u);
    const auto* entries = reinterpret_cast<const GroupEntry*>(group.data() + 6);
    std::vector<int> sizes;
    for (int i = 0; i < reinterpret_cast<const WORD*>(group.data())[2]; ++i) {
        sizes.push_back(entries[i].width == 0 ? 256 : entries[i].width);
    }
    ASSERT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));

    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int size = sizes[i];
        SCOPED_TRACE(size);
        // The entry the shell picks for this size, decoded at it: the card's
        // background at the left edge, its fill above the V, the V's foot.
        const int id = ::LookupIconIdFromDirectoryEx(reinterpret_cast<BYTE*>(group.data()), TRUE,
                                                     size, size, LR_DEFAULTCOLOR);
        EXPECT_EQ(id, entries[i].id);
        std::string image = resource(exe, MAKEINTRESOURCEW(id), RT_ICON);
        EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1a\n");
        const HICON icon = ::CreateIconFromResourceEx(reinterpret_cast<BYTE*>(image.data()),
                                                      static_cast<DWORD>(image.size()), TRUE,
                                                      0x00030000, size, size, LR_DEFAULTCOLOR);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAPINFO format{};
        format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<std::uint32_t> pixels(size * size);
        const HDC screen = ::GetDC(nullptr);
        ASSERT_EQ(
            ::GetDIBits(screen, info.hbmColor, 0, size, pixels.data(), &format, DIB_RGB_COLORS),
            size);
        ::ReleaseDC(nullptr, screen);
        const auto at = [&](double x, double y) {
            return pixels[int(y * size) * size + int(x * size)] & 0xFFFFFF;
        };
        EXPECT_EQ(at(0, 0.5), 0x050C14u);
        EXPECT_EQ(at(0.5, 0.15), 0x07111Bu);
        EXPECT_EQ(at(0.5, 0.65), 0x20D8FFu);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
    ::FreeLibrary(exe);
}

}  // namespace
