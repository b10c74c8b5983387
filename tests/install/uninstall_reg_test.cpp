// The uninstall registration for real: the entry under HKLM's uninstall list.
#include "state/globals.h"
#include "framework/win.h"
#include "install/config.h"
#include "install/fileops.h"
#include "install/uninstall_reg.h"
#include "resources/resource_ids.h"
#include "tests/install/install_test_support.h"

using install_test::LogLines;
using si_test::N;

namespace {

// A key of this test's own under the uninstall list, removed afterwards.
class RegistrationTest : public install_test::StepsTest {
protected:
    void SetUp() override {
        StepsTest::SetUp();
        gKeyName = L"SetupInstallTest_" + std::to_wstring(::GetCurrentProcessId());
        install_test::SetPath(gTargetDir, target_);
        createMultiDir(target_.c_str());
        log_.Clear();
    }
    void TearDown() override {
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, KeyPath().c_str());
        StepsTest::TearDown();
    }
    static std::wstring KeyPath() { return std::wstring(si::kUninstallParentKey) + L"\\" + gKeyName; }
    static std::wstring Load(UINT id) { return id == IDS_UNINSTALL_KEY ? gKeyName : install_test::Text(id); }
    static std::wstring LoadWithoutKey(UINT id) { return id == IDS_UNINSTALL_KEY ? std::wstring() : Load(id); }

    // Every value of the key in the order the registry lists them: name, type, data.
    struct Value {
        std::wstring name;
        DWORD type;
        std::wstring data;
        DWORD bytes;
        bool operator==(const Value& o) const {
            return name == o.name && type == o.type && data == o.data && bytes == o.bytes;
        }
    };
    static std::vector<Value> Values() {
        std::vector<Value> values;
        si::unique_hkey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
            return values;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256, type = 0, bytes = 2048;
            BYTE data[2048] = {};
            if (::RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &bytes) != ERROR_SUCCESS) break;
            values.push_back(Value{name, type, reinterpret_cast<const wchar_t*>(data), bytes});
        }
        return values;
    }
    static Value Sz(const wchar_t* name, const std::wstring& text) {
        return Value{name, REG_SZ, text, static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))};
    }
    static bool KeyExists() {
        si::unique_hkey key;
        return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    }

    static std::wstring gKeyName;
};
std::wstring RegistrationTest::gKeyName;

TEST_F(RegistrationTest, SevenTextValuesWithTheUninstallersFileVersion) {
    ASSERT_TRUE(::CopyFileW((install_test::StageOf(L"") + L"\\SetupFiles\\Uninst\\Uninstall.exe").c_str(),
                            (target_ + L"\\Uninstall.exe").c_str(), FALSE));
    ASSERT_TRUE(si::CreateShoutCutWith(&Load));
    EXPECT_EQ((std::vector<Value>{Sz(L"DisplayIcon", L""), Sz(L"DisplayName", L"KALVERON Wireless USB Adapter"),
                                  Sz(L"DisplayVersion", L"1.0.0.5"), Sz(L"InstallLocation", target_),
                                  Sz(L"Publisher", L"KALVERON"), Sz(L"UninstallString", target_ + L"\\Uninstall.exe"),
                                  Sz(L"URLInfoAbout", install_test::Text(IDS_WEB_ADDRESS))}),
              Values());
    EXPECT_TRUE(LogLines(log_.Text()).empty());

    // Again over the same key: values overwritten in place, others left alone.
    si::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, KEY_ALL_ACCESS, key.put()));
    const wchar_t extra[] = L"kept";
    ::RegSetValueExW(key.get(), L"Extra", 0, REG_SZ, reinterpret_cast<const BYTE*>(extra), sizeof(extra));
    ::RegSetValueExW(key.get(), L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(extra), sizeof(extra));
    key.reset();
    ::DeleteFileW((target_ + L"\\Uninstall.exe").c_str());  // no uninstaller: version 0.0.0.0
    ASSERT_TRUE(si::CreateShoutCutWith(&Load));
    const auto values = Values();
    ASSERT_EQ(8u, values.size());
    auto find = [&](const wchar_t* name) {
        for (const Value& v : values)
            if (v.name == name) return v;
        return Value{};
    };
    EXPECT_EQ(Sz(L"DisplayName", L"KALVERON Wireless USB Adapter"), find(L"DisplayName"));
    EXPECT_EQ(Sz(L"DisplayVersion", L"0.0.0.0"), find(L"DisplayVersion"));
    EXPECT_EQ(Sz(L"Extra", L"kept"), find(L"Extra"));
}

TEST_F(RegistrationTest, AMissingKeyNameWritesNothing) {
    EXPECT_FALSE(si::CreateShoutCutWith(&LoadWithoutKey));
    EXPECT_FALSE(KeyExists());
    si::unique_hkey parent;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, si::kUninstallParentKey, 0, KEY_READ, parent.put()));
    EXPECT_NE(ERROR_SUCCESS, ::RegQueryValueExW(parent.get(), L"DisplayName", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ((std::vector<std::string>{"createShoutCut>> key name (117) missing",
                                        "createShoutCut>>CreateUnInstallShortcut fail "}),
              LogLines(log_.Text()));
}

TEST_F(RegistrationTest, AnUninstallerPathThatDoesNotFitWritesNothing) {
    install_test::SetPath(gTargetDir, temp_.path() + L"\\" + std::wstring(MAX_PATH - 12 - temp_.path().size(), L't'));
    EXPECT_FALSE(si::CreateShoutCutWith(&Load));
    EXPECT_FALSE(KeyExists());
    EXPECT_EQ((std::vector<std::string>{"createShoutCut>> path too long: " + N(gTargetDir) + "\\Uninstall.exe",
                                        "createShoutCut>>CreateUnInstallShortcut fail "}),
              LogLines(log_.Text()));
}

TEST_F(RegistrationTest, AParentKeyThatCannotBeOpenedFails) {
    UninstallEntry entry;
    entry.keyName = gKeyName;
    EXPECT_FALSE(si::CreateUnInstallShortcutAt(HKEY_LOCAL_MACHINE, L"SOFTWARE\\SetupInstallNoSuchKey", entry));
    EXPECT_FALSE(KeyExists());
}

TEST_F(RegistrationTest, FileVersionNotProductVersion) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(L"1.0.0.3", GetFileVersionString(self));  // product version 2.3.4.5
    EXPECT_EQ(L"0.0.0.0", GetFileVersionString((temp_ / L"missing.exe").c_str()));
    EXPECT_EQ(L"0.0.0.0", GetFileVersionString(L""));
    si_test::WriteFileBytes(temp_ / L"plain.exe", "no version here");
    EXPECT_EQ(L"0.0.0.0", GetFileVersionString((temp_ / L"plain.exe").c_str()));
}

}  // namespace
