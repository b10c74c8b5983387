// Shared set-up of the install tests: the test program is the resource module
// (it carries the string tables), the configuration values are cleared, and
// message boxes are recorded instead of shown.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/osinfo.h"
#include "payload/standin/record.h"
#include "tests/support/test_support.h"

namespace install_test {

// Boxes shown through RecordBox since the last ResetInstallState.
using si_test::gBoxes;
using si_test::RecordBox;

// Makes this program the resource module and clears every configuration
// value, the recorded boxes and gDriverThread.
void ResetInstallState();

// A string of this program's table.
std::wstring Text(UINT id);

// The log lines (without their time prefix) that contain `needle`, in order.
std::vector<std::string> LogLines(const std::string& log, const std::string& needle = std::string());

// Sets a process-wide MAX_PATH path.
void SetPath(wchar_t (&target)[MAX_PATH], const std::wstring& value);

// The staged sample payload (empty `variant`) or one of its variants: what
// the unpack folder holds after the extraction.
std::wstring StageOf(const std::wstring& variant);

// The uninstaller and its first `languages` language folders, as ListTree gives them.
std::vector<std::wstring> UninstallerLayout(size_t languages);

const OsInfo kWin10X64{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10};

// The install steps for real under Wine: a staged payload as the unpack
// folder, a temporary Program Files, the stand-in programs recording how
// they were started, the log captured.
class StepsTest : public ::testing::Test {
protected:
    void SetUp() override;
    // The staged payload as the unpack folder, configured for `os`.
    void Configure(const std::wstring& variant, OsInfo os = kWin10X64);
    std::vector<si_standin::StandinStart> Starts() {
        std::vector<si_standin::StandinStart> starts;
        EXPECT_TRUE(si_standin::ReadStandinRecord(record_, &starts));
        return starts;
    }

    si_test::TempDir temp_{L"steps"};
    const std::wstring target_ = temp_ / L"Program Files\\KALVERON\\AX7R_1.0";
    const std::wstring record_ = temp_ / L"record.txt";
    si_test::LogCapture log_;
    si_standin::ScopedEnv recordEnv_{L"SETUPINSTALL_STANDIN_RECORD", temp_ / L"record.txt"};
};

}  // namespace install_test
