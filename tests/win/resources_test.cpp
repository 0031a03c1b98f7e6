// The shipped exe's resources, read back through the calls Windows itself
// uses: version information as Explorer's Details tab reads it, the manifest
// as the loader turns it into an activation context, and the icon group as
// the shell picks and decodes an icon of each size.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "text/utf.h"
#include "win_test_support.h"

namespace {

std::wstring exe_path() {
    return wine_path(environment("VANTREL_EXE"));
}

// The exe mapped as data, as the shell maps a file to read its resources.
class ExeData {
public:
    ExeData() : module_(::LoadLibraryExW(exe_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ExeData() {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }
    ExeData(const ExeData&) = delete;
    ExeData& operator=(const ExeData&) = delete;

    [[nodiscard]] HMODULE module() const { return module_; }

    // The bytes of one resource; empty when it is missing.
    [[nodiscard]] std::string bytes(const wchar_t* name, const wchar_t* type) const {
        const HRSRC found = ::FindResourceW(module_, name, type);
        if (found == nullptr) return {};
        const HGLOBAL loaded = ::LoadResource(module_, found);
        const auto* data = static_cast<const char*>(::LockResource(loaded));
        return data == nullptr ? std::string()
                               : std::string(data, ::SizeofResource(module_, found));
    }

    // The names of every resource of a type, in the order the system lists them.
    [[nodiscard]] std::vector<ULONG_PTR> names(const wchar_t* type) const {
        std::vector<ULONG_PTR> names;
        ::EnumResourceNamesW(
            module_, type,
            [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) -> BOOL {
                reinterpret_cast<std::vector<ULONG_PTR>*>(found)->push_back(
                    IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : ~ULONG_PTR{0});
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&names));
        return names;
    }

private:
    HMODULE module_;
};

TEST(Resources, VersionInformationNamesTheProductAndTheProjectVersion) {
    const std::wstring exe = exe_path();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version information in " << environment("VANTREL_EXE");
    std::vector<char> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0409);  // U.S. English
    EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);    // UTF-16

    const std::string version = VANTREL_PROJECT_VERSION;
    const struct {
        const wchar_t* name;
        std::string text;
    } strings[] = {
        {L"CompanyName", "Vantrel"},
        {L"FileDescription", "Vantrel Bootstrapper"},
        {L"FileVersion", version},
        {L"InternalName", "VantrelBootstrapper"},
        {L"LegalCopyright", "Copyright (C) 2026 Vantrel"},
        {L"OriginalFilename", "VantrelBootstrapper.exe"},
        {L"ProductName", "Vantrel"},
        {L"ProductVersion", version},
    };
    for (const auto& expected : strings) {
        SCOPED_TRACE(from_wide_lossy(expected.name));
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + expected.name;
        ASSERT_TRUE(::VerQueryValueW(block.data(), path.c_str(), &value, &length));
        EXPECT_EQ(from_wide_lossy(static_cast<const wchar_t*>(value)), expected.text);
    }

    // The numeric version that Windows compares: the same three numbers, then 0.
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(version.c_str(), "%u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, major << 16 | minor);
    EXPECT_EQ(fixed.dwFileVersionLS, patch << 16);
    EXPECT_EQ(fixed.dwProductVersionMS, major << 16 | minor);
    EXPECT_EQ(fixed.dwProductVersionLS, patch << 16);
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed.dwFileFlags, 0u);
}

TEST(Resources, ManifestRunsAsInvokerOnEverySupportedWindowsWithGdiScaling) {
    const ExeData exe;
    ASSERT_NE(exe.module(), nullptr);
    // One manifest, the one the loader reads for an exe.
    EXPECT_EQ(exe.names(RT_MANIFEST), std::vector<ULONG_PTR>{1});

    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    const std::wstring path = exe_path();
    request.lpSource = path.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    const HANDLE context = ::CreateActCtxW(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the manifest does not parse: " << ::GetLastError();

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION run_level{};
    ASSERT_TRUE(::QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext,
                               &run_level, sizeof run_level, nullptr));
    EXPECT_EQ(run_level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(run_level.UiAccess, 0u);

    // The layout of the current SDK, which Windows 10 and 11 and Wine fill in;
    // MinGW's headers still have the older one, without MaxVersionTested.
    struct {
        DWORD count;
        struct {
            GUID id;
            DWORD type;
            ULONGLONG max_version_tested;
        } elements[8];
    } compatibility{};
    ASSERT_TRUE(::QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                               &compatibility, sizeof compatibility, nullptr));
    const char* const supported[] = {
        "{35138B9A-5D96-4FBD-8E2D-A2440225F93A}",  // Windows 7
        "{4A2F28E3-53B9-4441-BA9C-D69D4A4A6E38}",  // Windows 8
        "{1F676C76-80E1-4239-95BB-83D0F6D0DA78}",  // Windows 8.1
        "{8E0F7A12-BFB3-4FE8-B9A5-48FD50A15A9A}",  // Windows 10 and 11
    };
    ASSERT_EQ(compatibility.count, std::size(supported));
    for (DWORD i = 0; i < compatibility.count; ++i) {
        const auto& element = compatibility.elements[i];
        const GUID& id = element.id;
        char text[40] = {};
        std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      id.Data1, id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                      id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
        EXPECT_EQ(std::string(text), supported[i]);
        EXPECT_EQ(element.type, static_cast<DWORD>(ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS));
    }

    const struct {
        const wchar_t* name_space;
        const wchar_t* name;
        const char* value;
    } settings[] = {
        {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", "false"},
        {L"http://schemas.microsoft.com/SMI/2017/WindowsSettings", L"gdiScaling", "true"},
        // Not aware per monitor: the fixed-pixel layout would come out small.
        {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness", nullptr},
    };
    for (const auto& setting : settings) {
        SCOPED_TRACE(from_wide_lossy(setting.name));
        wchar_t value[32] = {};
        SIZE_T written = 0;
        const bool found = ::QueryActCtxSettingsW(0, context, setting.name_space, setting.name,
                                                  value, std::size(value), &written);
        if (setting.value == nullptr) {
            EXPECT_FALSE(found);
        } else {
            ASSERT_TRUE(found) << ::GetLastError();
            EXPECT_EQ(from_wide_lossy(value), setting.value);
        }
    }
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

std::uint32_t pixel(const std::vector<std::uint32_t>& pixels, int size, double x, double y) {
    return pixels[static_cast<int>(y * size) * size + static_cast<int>(x * size)] & 0xFFFFFF;
}

TEST(Resources, FirstIconGroupGivesTheVAtEverySize) {
    const ExeData exe;
    ASSERT_NE(exe.module(), nullptr);
    const std::vector<ULONG_PTR> groups = exe.names(RT_GROUP_ICON);
    ASSERT_EQ(groups.size(), 1u);
    const std::string group = exe.bytes(MAKEINTRESOURCEW(groups[0]), RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u);
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(group.size(), 6 + count * sizeof(GroupEntry));
    const auto* entries = reinterpret_cast<const GroupEntry*>(group.data() + 6);

    const int sizes[] = {16, 20, 24, 32, 40, 48, 64, 256};
    ASSERT_EQ(count, std::size(sizes));
    for (WORD i = 0; i < count; ++i) {
        const int size = sizes[i];
        SCOPED_TRACE(size);
        EXPECT_EQ(entries[i].width, size & 0xFF);  // 0 stands for 256
        EXPECT_EQ(entries[i].height, size & 0xFF);
        EXPECT_EQ(entries[i].bit_count, 32);

        // The shell's choice for this size, and the image decoded at it.
        const int id =
            ::LookupIconIdFromDirectoryEx(reinterpret_cast<BYTE*>(const_cast<char*>(group.data())),
                                          TRUE, size, size, LR_DEFAULTCOLOR);
        EXPECT_EQ(id, entries[i].id);
        std::string image = exe.bytes(MAKEINTRESOURCEW(id), RT_ICON);
        ASSERT_EQ(image.size(), entries[i].bytes);
        EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1a\n");
        const HICON icon = ::CreateIconFromResourceEx(reinterpret_cast<BYTE*>(image.data()),
                                                      static_cast<DWORD>(image.size()), TRUE,
                                                      0x00030000, size, size, LR_DEFAULTCOLOR);
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bitmap{};
        ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        EXPECT_EQ(bitmap.bmHeight, size);

        BITMAPINFO format{};
        format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB};
        std::vector<std::uint32_t> pixels(size * size);
        const HDC screen = ::GetDC(nullptr);
        EXPECT_EQ(
            ::GetDIBits(screen, info.hbmColor, 0, size, pixels.data(), &format, DIB_RGB_COLORS),
            size);
        ::ReleaseDC(nullptr, screen);
        EXPECT_EQ(pixel(pixels, size, 0, 0.5), 0x050C14u);     // background, left edge
        EXPECT_EQ(pixel(pixels, size, 0.5, 0.15), 0x07111Bu);  // card, above the V
        EXPECT_EQ(pixel(pixels, size, 0.5, 0.65), 0x20D8FFu);  // the V's foot
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
}

}  // namespace
