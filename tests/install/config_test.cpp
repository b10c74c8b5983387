// The configuration reader on real INI files, for systems given through the seam.
#include <gtest/gtest.h>

#include <string>

#include "state/globals.h"
#include "install/config.h"
#include "resources/resource_ids.h"
#include "tests/install/install_test_support.h"
#include "tests/support/test_support.h"

using install_test::LogLines;

namespace {

// The shipped FilesModifyConfig.ini.
const char kShippedIni[] =
    "[SupportCard]\r\n"
    "PID_VID=USB\\VID_0BDA&PID_C811\r\n"
    "[CurrentCard]\r\n"
    "PID_VID=USB\\VID_0BDA&PID_C811\r\n"
    "Chip_Supplier=1\r\n"
    "[SupportSystem]\r\n"
    "Windows_XP_X86=1\r\nWindows_XP_X64=1\r\nWindows_Vista_X86=0\r\nWindows_Vista_X64=0\r\n"
    "Windows_7_X86=1\r\nWindows_7_X64=1\r\nWindows_8_X86=1\r\nWindows_8_X64=1\r\n"
    "Windows_8_1_X86=1\r\nWindows_8_1_X64=1\r\nWindows_10_X86=1\r\nWindows_10_X64=1\r\n"
    "[TargetDirSet]\r\n"
    "TargetDir=\"KALVERON\\AX7R_1.0\"\r\n"
    "SelfMakeDir=C:\\Program Files\\KALVERON\\AX7R_1.0\r\n"
    "[AutoInstSvc]\r\n"
    "SOURCE_PATH=SetupFiles\\AutoInstSvc\r\n"
    "[Uninst]\r\n"
    "SOURCE_PATH=SetupFiles\\Uninst\r\n"
    "[DriverInstall]\r\n"
    "Driver_Install_Tool_X86=SetupFiles\\DriverTool\\x86\r\n"
    "Driver_Install_Tool_X64=SetupFiles\\DriverTool\\x64\r\n"
    "DriverWHQL=1\r\n"
    "Windows_XP_X86=\"SetupFiles\\Driver\\RTL8811CU\\Driver\\WinXP\"\r\n"
    "Windows_XP_X64=\"SetupFiles\\Driver\\RTL8811CU\\Driver\\WinX64\"\r\n"
    "Windows_Vista_X86=\"\"\r\n"
    "Windows_Vista_X64=\"\"\r\n"
    "Windows_7_X86=\"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win7X86\"\r\n"
    "Windows_7_X64=\"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win7X64\"\r\n"
    "Windows_8_X86=\"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win7X86\"\r\n"
    "Windows_8_X64=\"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win7X64\"\r\n"
    "Windows_8_1_X86=\"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win7X86\"\r\n"
    "Windows_8_1_X64=\"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win7X64\"\r\n"
    "Windows_10_X86=\"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win10X86\"\r\n"
    "Windows_10_X64=\"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win10X64\"\r\n";

const wchar_t kProgramFiles[] = L"C:\\Program Files";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        install_test::ResetInstallState();
        install_test::SetPath(gUnPackDirPath, unpack_.path());
        install_test::SetPath(gProgramFilesDir, kProgramFiles);
        ::CreateDirectoryW((unpack_ / L"SetupFiles").c_str(), nullptr);
        ::CreateDirectoryW((unpack_ / L"SetupFiles\\ConfigFile").c_str(), nullptr);
    }
    void WriteIni(const std::string& text) {
        ASSERT_TRUE(si_test::WriteFileBytes(unpack_ / L"SetupFiles\\ConfigFile\\FilesModifyConfig.ini", text));
    }
    int Read(int architecture, int osType) {
        return si::ReadConfigFromIniWith(OsInfo{architecture, osType}, &install_test::RecordBox);
    }

    si_test::TempDir unpack_{L"cfg"};
    si_test::LogCapture log_;
};

TEST_F(ConfigTest, ShippedFileOnWindows10x64) {
    WriteIni(kShippedIni);
    EXPECT_EQ(1, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10));
    EXPECT_EQ(unpack_.path() + L"\\SetupFiles\\ConfigFile\\FilesModifyConfig.ini", gConfigFilePath);
    EXPECT_EQ(1, gChipSupplier);
    EXPECT_STREQ(L"C:\\Program Files\\KALVERON\\AX7R_1.0", gTargetDir);
    EXPECT_STREQ(L"SetupFiles\\AutoInstSvc", gSvcSourceDir);
    EXPECT_STREQ(L"SetupFiles\\Uninst", gUninstSourceDir);
    EXPECT_STREQ(L"SetupFiles\\DriverTool\\x64", gDriverToolSourceDir);
    EXPECT_STREQ(L"C:\\Program Files\\KALVERON\\AX7R_1.0\\DriverFiles\\Corvane64.exe", gDriverToolPath);
    EXPECT_TRUE(gDriverWHQL);
    EXPECT_STREQ(L"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win10X64", gDriverSourceDir);
    EXPECT_TRUE(install_test::gBoxes.empty());
    EXPECT_EQ((std::vector<std::string>{"ReadConfigFromIni>>gTargetDir is C:\\Program Files\\KALVERON\\AX7R_1.0",
                                        "ReadConfigFromIni>>OS architecture is x64",
                                        "ReadConfigFromIni>>OS type is win10"}),
              LogLines(log_.Text()));
}

TEST_F(ConfigTest, ShippedFileOnWindows81x86PointsAtTheWindows7Driver) {
    WriteIni(kShippedIni);
    EXPECT_EQ(1, Read(OS_ARCHITECTURE_X86, OS_TYPE_WIN8_1));
    EXPECT_STREQ(L"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win7X86", gDriverSourceDir);
    EXPECT_STREQ(L"SetupFiles\\DriverTool\\x86", gDriverToolSourceDir);
    EXPECT_STREQ(L"C:\\Program Files\\KALVERON\\AX7R_1.0\\DriverFiles\\Corvane.exe", gDriverToolPath);
    EXPECT_EQ((std::vector<std::string>{"ReadConfigFromIni>>OS architecture is x86",
                                        "ReadConfigFromIni>>OS type is win8.1"}),
              LogLines(log_.Text(), "OS "));
}

TEST_F(ConfigTest, EverySystemKeyAndLogWord) {
    WriteIni(kShippedIni);
    struct Row {
        int osType;
        const char* word;
        const wchar_t* x86;
        const wchar_t* x64;
    };
    const Row rows[] = {
        {OS_TYPE_XP, "xp", L"WinXP", L"WinX64"},          {OS_TYPE_VISTA, "vista", L"", L""},
        {OS_TYPE_WIN7, "win7", L"Win7X86", L"Win7X64"},   {OS_TYPE_WIN8, "win8", L"Win7X86", L"Win7X64"},
        {OS_TYPE_WIN8_1, "win8.1", L"Win7X86", L"Win7X64"}, {OS_TYPE_WIN10, "win10", L"Win10X86", L"Win10X64"},
    };
    for (const Row& row : rows) {
        for (int architecture : {OS_ARCHITECTURE_X86, OS_ARCHITECTURE_X64_AMD64}) {
            SCOPED_TRACE(std::string(row.word) + (architecture ? " x64" : " x86"));
            log_.Clear();
            ASSERT_EQ(1, Read(architecture, row.osType));
            const std::wstring leaf = architecture ? row.x64 : row.x86;
            EXPECT_EQ(leaf.empty() ? leaf : L"SetupFiles\\Driver\\RTL8811CU\\Driver\\" + leaf, gDriverSourceDir);
            EXPECT_EQ(std::vector<std::string>{std::string("ReadConfigFromIni>>OS type is ") + row.word},
                      LogLines(log_.Text(), "OS type"));
        }
    }
}

TEST_F(ConfigTest, SupplierTwoRunsTheTessilTools) {
    WriteIni(Replace(kShippedIni, "Chip_Supplier=1", "Chip_Supplier=2"));
    EXPECT_EQ(1, Read(OS_ARCHITECTURE_X86, OS_TYPE_WIN7));
    EXPECT_EQ(2, gChipSupplier);
    EXPECT_STREQ(L"C:\\Program Files\\KALVERON\\AX7R_1.0\\DriverFiles\\Tessil.exe", gDriverToolPath);
    EXPECT_EQ(1, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN7));
    EXPECT_STREQ(L"C:\\Program Files\\KALVERON\\AX7R_1.0\\DriverFiles\\Tessil64.exe", gDriverToolPath);
}

TEST_F(ConfigTest, DriverWhqlIsOneOnlyForOneOrAMissingKey) {
    const struct {
        const char* line;
        BOOL expected;
    } cases[] = {{"DriverWHQL=0", FALSE}, {"DriverWHQL=2", FALSE}, {"", TRUE}, {"DriverWHQL=1", TRUE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        gDriverWHQL = !c.expected;
        WriteIni(Replace(kShippedIni, "DriverWHQL=1\r\n", std::string(c.line) + "\r\n"));
        ASSERT_EQ(1, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_XP));
        EXPECT_EQ(c.expected, gDriverWHQL);
    }
}

TEST_F(ConfigTest, BlanksAndEveryDoubleQuoteAreRemoved) {
    WriteIni(Replace(Replace(kShippedIni, "TargetDir=\"KALVERON\\AX7R_1.0\"", "TargetDir=  \t\"KAL\"VERON\\AX7R_1.0\" \t"),
                     "SOURCE_PATH=SetupFiles\\Uninst", "SOURCE_PATH= \"Setup\"Files\\\"Uninst\"\" "));
    EXPECT_EQ(1, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10));
    EXPECT_STREQ(L"C:\\Program Files\\KALVERON\\AX7R_1.0", gTargetDir);
    EXPECT_STREQ(L"SetupFiles\\Uninst", gUninstSourceDir);

    wchar_t text[] = L" \t\r\n\v\f\"a \" b\"\" \f\v\n\r\t ";
    si::CleanIniText(text);
    EXPECT_STREQ(L"a  b", text);
}

TEST_F(ConfigTest, MissingTextKeysReadAsEmpty) {
    WriteIni("[CurrentCard]\r\nChip_Supplier=1\r\n");
    EXPECT_EQ(1, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10));
    EXPECT_STREQ(L"C:\\Program Files\\", gTargetDir);
    EXPECT_STREQ(L"", gSvcSourceDir);
    EXPECT_STREQ(L"", gDriverSourceDir);
    EXPECT_TRUE(gDriverWHQL);
}

TEST_F(ConfigTest, Server2003HasNoDriverKey) {
    WriteIni(kShippedIni);
    EXPECT_EQ(1, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_03SVR));
    EXPECT_STREQ(L"", gDriverSourceDir);
    EXPECT_TRUE(LogLines(log_.Text(), "OS type").empty());
    EXPECT_EQ(1u, LogLines(log_.Text(), "OS architecture is x64").size());
}

TEST_F(ConfigTest, ItaniumAndUnknownProcessorsAreRefusedWithoutABox) {
    WriteIni(kShippedIni);
    for (int architecture : {OS_ARCHITECTURE_IPF_IA64, OS_ARCHITECTURE_UNKNOWN}) {
        log_.Clear();
        EXPECT_EQ(0, Read(architecture, OS_TYPE_WIN10));
        EXPECT_STREQ(L"C:\\Program Files\\KALVERON\\AX7R_1.0\\DriverFiles\\Corvane64.exe", gDriverToolPath);
        EXPECT_STREQ(L"", gDriverSourceDir);
        const auto lines = LogLines(log_.Text());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ("ReadConfigFromIni>>OS type is win10", lines.back());
    }
    EXPECT_TRUE(install_test::gBoxes.empty());
}

TEST_F(ConfigTest, MissingFileOrUnknownSupplierShowsTheVendorBox) {
    EXPECT_EQ(0, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10));  // no file at all
    for (const char* value : {"0", "3", "-1", "x"}) {
        WriteIni(Replace(kShippedIni, "Chip_Supplier=1", std::string("Chip_Supplier=") + value));
        EXPECT_EQ(0, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10)) << value;
    }
    ASSERT_EQ(5u, install_test::gBoxes.size());
    for (const auto& box : install_test::gBoxes) {
        EXPECT_EQ(L"Invalid chip vendor value.", box.text);
        EXPECT_EQ(L"Error!!!", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_SYSTEMMODAL), box.type);
    }
    EXPECT_STREQ(L"", gTargetDir);
    EXPECT_TRUE(LogLines(log_.Text()).empty());
}

TEST_F(ConfigTest, SupportSystemFlagsChangeNothing) {
    WriteIni(Replace(kShippedIni, "Windows_10_X64=1", "Windows_10_X64=0"));
    EXPECT_EQ(1, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10));
    EXPECT_STREQ(L"SetupFiles\\Driver\\RTL8811CU\\Driver\\Win10X64", gDriverSourceDir);
}

TEST_F(ConfigTest, PathsThatDoNotFitAreRefusedNotCut) {
    // A target folder of 300 characters would be cut by a 260-character read.
    WriteIni(Replace(kShippedIni, "TargetDir=\"KALVERON\\AX7R_1.0\"", "TargetDir=" + std::string(300, 'k')));
    EXPECT_EQ(0, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10));
    EXPECT_STREQ(L"", gTargetDir);
    EXPECT_EQ(1u, LogLines(log_.Text(), "ReadConfigFromIni>> path too long").size());

    // A value that fits alone but not below the Program Files folder.
    log_.Clear();
    WriteIni(Replace(kShippedIni, "TargetDir=\"KALVERON\\AX7R_1.0\"", "TargetDir=" + std::string(250, 'k')));
    EXPECT_EQ(0, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10));
    EXPECT_STREQ(L"", gTargetDir);
    EXPECT_EQ(1u, LogLines(log_.Text(), "ReadConfigFromIni>> path too long").size());

    // The tool path below a target folder that just fits.
    log_.Clear();
    WriteIni(Replace(kShippedIni, "TargetDir=\"KALVERON\\AX7R_1.0\"", "TargetDir=" + std::string(230, 'k')));
    EXPECT_EQ(0, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10));
    EXPECT_EQ(L"C:\\Program Files\\" + std::wstring(230, L'k'), gTargetDir);
    EXPECT_STREQ(L"", gDriverToolPath);
    EXPECT_EQ(1u, LogLines(log_.Text(), "ReadConfigFromIni>> path too long").size());

    // No Program Files folder: nothing goes to the drive's root (\KALVERON\AX7R_1.0).
    WriteIni(kShippedIni);
    gProgramFilesDir[0] = gTargetDir[0] = L'\0';
    EXPECT_EQ(0, Read(OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10));
    EXPECT_STREQ(L"", gTargetDir);
}

TEST_F(ConfigTest, TheConfigFolderComesFromTheStringTable) {
    EXPECT_EQ(L"SetupFiles\\ConfigFile", install_test::Text(IDS_CONFIG_FOLDER));
    WriteIni(kShippedIni);
    EXPECT_EQ(1, ReadConfigFromIni());  // the real entry, with gOsInfo
}

}  // namespace
