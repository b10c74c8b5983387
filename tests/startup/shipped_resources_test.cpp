// The shipped (i686) SetupInstall.exe, inspected as data from the test twin.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "framework/win.h"
#include "tests/support/test_support.h"

namespace {

std::wstring ShippedExePath() { return si_test::BuildDir() + L"\\..\\i686\\bin\\SetupInstall.exe"; }

class ShippedExe : public testing::Test {
protected:
    void SetUp() override {
        module_.reset(::LoadLibraryExW(ShippedExePath().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(module_) << "cannot load " << si_test::Narrow(ShippedExePath()) << " as data: " << ::GetLastError();
    }
    HMODULE get() const { return module_.get(); }
    si::unique_hmodule module_;
};

TEST_F(ShippedExe, StringTableHoldsTheEnglishTexts) {
    const std::map<UINT, std::wstring> expected = {
        {101, L"About SetupInstall(&A)..."},
        {102, L"KalveronTemp"},
        {103, L"SetupFiles7z"},
        {104, L"7zDec.dll"},
        {105, L"131-103,130-104"},
        {106, L"28,255,368,10"},
        {107, L"28,228,300,20"},
        {108, L"350,228,46,20"},
        {109, L"254,76,76,76"},
        {110, L"254,217,217,217"},
        {111, L"254,222,73,68"},
        {112, L"254,76,76,76"},
        {113, L"SetupFiles\\ConfigFile"},
        {114, L"Install KALVERON Wireless USB Adapter"},
        {115, L"KALVERON Wireless USB Adapter"},
        {116, L"Lang7z"},
        {117, L"KALVERON_FLASH"},
        {118, L"KALVERON"},
        {120, L"Invalid chip vendor value."},
        {121, L"Extracting files\u2026"},
        {122, L"Reading configuration files\u2026"},
        {123, L"Configuration files successfully read."},
        {124, L"Copying uninstaller\u2026"},
        {125, L"Uninstaller copied."},
        {126, L"Loading\u2026"},
        {127, L"Start installing\u2026"},
        {128, L"Installing adapter driver\u2026"},
        {129, L"Driver installation completed."},
        {130, L"Installing AutoService\u2026"},
        {131, L"AutoService installed."},
        {132, L"Creating shortcut\u2026"},
        {133, L"Shortcut created."},
        {134, L"Deleting temporary files\u2026"},
        {135, L"Temporary files deleted."},
        {136, L"Installation completed."},
        {137, L"Failed to initialize. Uninstall the software and try again after restarting the computer."},
        {138, L"The installation is running."},
        {139, L"Please run the program as Administrator."},
        {140, L"This operating system is not supported. Please change the operating system and try again."},
        {141, L"Initializing\u2026"},
        {142, L"Initialization completed."},
        {143, L"132-116,130-104"},
    };
    for (const auto& row : expected)
        EXPECT_EQ(si::LoadStringResource(get(), row.first), row.second) << row.first;
    EXPECT_FALSE(si::LoadStringResource(get(), 119).empty());
    EXPECT_EQ(si::LoadStringResource(get(), 144), L"");
}

struct Listing {
    std::vector<std::wstring> entries;  // "type/name/lang"
};

std::wstring Name(LPCWSTR name) {
    return IS_INTRESOURCE(name) ? std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : std::wstring(name);
}

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD lang, LONG_PTR param) {
    reinterpret_cast<Listing*>(param)->entries.push_back(Name(type) + L"/" + Name(name) + L"/" + std::to_wstring(lang));
    return TRUE;
}
BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    ::EnumResourceLanguagesW(module, type, name, &OnLanguage, param);
    return TRUE;
}
BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR param) {
    ::EnumResourceNamesW(module, type, &OnName, param);
    return TRUE;
}

TEST_F(ShippedExe, EverythingButTheManifestIsChineseSimplified) {
    Listing listing;
    ::EnumResourceTypesW(get(), &OnType, reinterpret_cast<LONG_PTR>(&listing));
    std::map<std::wstring, bool> seen;
    for (const std::wstring& e : listing.entries) {
        seen[e.substr(0, e.rfind(L'/'))] = true;
        if (e.rfind(L"24/", 0) == 0)
            EXPECT_EQ(e, L"24/1/1033");
        else
            EXPECT_EQ(e.substr(e.rfind(L'/') + 1), L"2052") << si_test::Narrow(e);
    }
    for (const wchar_t* must : {L"SETUPFILES/130", L"SETUPFILES/131", L"SETUPFILES/132", L"PNG/129", L"14/128",
                                L"5/100", L"5/102", L"16/1", L"24/1"})
        EXPECT_TRUE(seen[must]) << si_test::Narrow(must);
}

TEST_F(ShippedExe, ManifestAsksForAdministratorAndListsVistaTo81) {
    HRSRC info = ::FindResourceW(get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(info, nullptr);
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(get(), info)));
    const std::string manifest(data, ::SizeofResource(get(), info));
    for (const char* must : {"level=\"requireAdministrator\"", "uiAccess=\"false\"",
                             "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
                             "processorArchitecture=\"x86\"", "publicKeyToken=\"6595b64144ccf1df\"",
                             "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"})
        EXPECT_NE(manifest.find(must), std::string::npos) << must;
    // Nothing for Windows 10: the classic version query stays capped at 6.3.
    EXPECT_EQ(manifest.find("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"), std::string::npos);
}

TEST_F(ShippedExe, VersionBlockSays1002) {
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(ShippedExePath().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(ShippedExePath().c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000002u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000002u);
    auto text = [&](const wchar_t* key) {
        wchar_t* value = nullptr;
        UINT n = 0;
        std::wstring path = std::wstring(L"\\StringFileInfo\\080404b0\\") + key;
        return ::VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &n) && value
                   ? std::wstring(value)
                   : std::wstring();
    };
    EXPECT_EQ(text(L"FileDescription"), L"Install KALVERON Wireless USB Adapter");
    EXPECT_EQ(text(L"InternalName"), L"SetupInstall.exe");
    EXPECT_EQ(text(L"OriginalFilename"), L"SetupInstall.exe");
    EXPECT_EQ(text(L"FileVersion"), L"1.0.0.2");
}

}  // namespace
