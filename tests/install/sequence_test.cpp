// The install sequence with fake steps, instant pauses and scripted driver waits.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "state/globals.h"
#include "install/config.h"
#include "install/sequence.h"
#include "resources/resource_ids.h"
#include "tests/install/install_test_support.h"
#include "tests/support/test_support.h"

using install_test::LogLines;

namespace {

// What the fakes do, and everything the sequence did, in order.
struct Script {
    bool extractOk = true, configOk = true, copyOk = true, serviceOk = true, registerOk = true, deleteOk = true;
    DWORD driverExit = 1;
    int driverEndsAtWait = 1;  // the timed wait (1-based) that sees the driver end; 0: it outlasts every wait
    UINT missingString = 0;    // a status id whose entry is missing
    BOOL whqlAfterConfig = TRUE;

    std::vector<std::string> events;
    std::vector<std::wstring> statuses;  // the text of every report
    int timedWaits = 0;
    std::atomic<int> driverRuns{0};
    HANDLE release = nullptr;  // lets the fake driver thread end
};
Script* gScript = nullptr;

void Event(const std::string& e) { gScript->events.push_back(e); }

int FakeExtract() { Event("extract"); return gScript->extractOk; }
int FakeConfig() {
    Event("config");
    gDriverWHQL = gScript->whqlAfterConfig;
    return gScript->configOk;
}
bool FakeCopy() { Event("copy"); return gScript->copyOk; }
DWORD WINAPI FakeDriver(LPVOID) {
    ++gScript->driverRuns;
    ::WaitForSingleObject(gScript->release, INFINITE);
    return gScript->driverExit;
}
bool FakeService() { Event("service"); return gScript->serviceOk; }
bool FakeRegister() { Event("register"); return gScript->registerOk; }
bool FakeDelete() { Event("delete"); return gScript->deleteOk; }

void FakePause(DWORD ms) { Event("pause " + std::to_string(ms)); }
DWORD FakeWait(HANDLE thread, DWORD ms) {
    Event(ms == INFINITE ? "wait inf" : "wait " + std::to_string(ms));
    if (ms != INFINITE) ++gScript->timedWaits;
    if (ms == INFINITE || (gScript->driverEndsAtWait && gScript->timedWaits >= gScript->driverEndsAtWait)) {
        ::SetEvent(gScript->release);
        return ::WaitForSingleObject(thread, INFINITE);
    }
    return WAIT_TIMEOUT;
}
void FakeReport(const std::wstring& status, int percent, bool finished) {
    Event("report " + std::to_string(percent) + (finished ? " done" : ""));
    gScript->statuses.push_back(status);
}
std::wstring FakeLoad(UINT id) { return id == gScript->missingString ? std::wstring() : install_test::Text(id); }
void FakeSend(UINT message) { Event("send " + std::to_string(message)); }
int WINAPI FakeBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    Event("box");
    return install_test::RecordBox(owner, text, caption, type);
}

const si::InstallSteps kFakeSteps{&FakeExtract, &FakeConfig,   &FakeCopy,  &FakeDriver,
                                  &FakeService, &FakeRegister, &FakeDelete};
const si::SequenceHost kFakeHost{&FakePause, &FakeWait, &FakeReport, &FakeLoad, &FakeBox, &FakeSend};

using Events = std::vector<std::string>;

Events Concat(std::initializer_list<Events> parts) {
    Events all;
    for (const Events& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const Events kOpening = {"report 5",  "extract", "pause 200", "report 10", "config",   "report 15",
                         "pause 500", "report 20", "copy",    "report 25", "pause 200"};
const Events kClosing = {"pause 3000", "report 79", "register",  "pause 1500", "report 83",
                         "pause 2000", "report 91", "delete",    "pause 2000", "report 98",
                         "pause 2000", "report 100 done", "pause 2000", "send 2025"};
const Events kFailure = {"box", "send 2027"};

// Driver-first reports 35, 40, ... up to `last` with a wait before each.
Events ShortWait(int last) {
    Events e;
    for (int p = 35; p <= last; p += 5) {
        e.push_back("wait 1000");
        e.push_back("report " + std::to_string(p));
    }
    return e;
}
// Service-first reports 41, 42, ... up to `last` with a wait before each.
Events LongWait(int last) {
    Events e;
    for (int p = 41; p <= last; ++p) {
        e.push_back("wait 2000");
        e.push_back("report " + std::to_string(p));
    }
    return e;
}

class SequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        install_test::ResetInstallState();
        script_.reset(new Script);
        script_->release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        gScript = script_.get();
        gInstallThread = ::GetCurrentThread();
    }
    void TearDown() override {
        // A driver thread left running by the sequence ends here.
        ::SetEvent(script_->release);
        if (gDriverThread) {
            ::WaitForSingleObject(gDriverThread, INFINITE);
            ::CloseHandle(gDriverThread);
            gDriverThread = nullptr;
        }
        ::CloseHandle(script_->release);
        gScript = nullptr;
    }
    DWORD Run(int osType) {
        return si::RunInstallSequence(kFakeSteps, kFakeHost, OsInfo{OS_ARCHITECTURE_X64_AMD64, osType});
    }
    DWORD DriverExitCode() {
        DWORD code = 0;
        ::GetExitCodeThread(gDriverThread, &code);
        return code;
    }

    std::unique_ptr<Script> script_;
    si_test::LogCapture log_;
};

TEST_F(SequenceTest, DriverFirstReportsEveryStepInOrder) {
    script_->driverEndsAtWait = 7;  // the driver uses the whole short wait
    EXPECT_EQ(0u, Run(OS_TYPE_WIN10));
    EXPECT_EQ(Concat({kOpening, {"report 26", "report 30"}, ShortWait(60), {"wait 1000", "wait 3000"},
                      {"report 65", "report 70", "service", "report 75"}, kClosing}),
              script_->events);
    EXPECT_EQ(1, script_->driverRuns.load());
    EXPECT_EQ(1u, DriverExitCode());
    EXPECT_EQ(nullptr, gInstallThread);
    EXPECT_TRUE(install_test::gBoxes.empty());
    EXPECT_EQ(std::vector<std::string>{"{ThreadSetupInstall}ThreadSetupInstall start"}, LogLines(log_.Text()));

    // The status texts that go with the reports.
    const UINT ids[] = {121, 122, 123, 124, 125, 126, 127, 128, 128, 128, 128, 128, 128,
                        129, 130, 131, 132, 133, 134, 135, 136};
    ASSERT_EQ(sizeof(ids) / sizeof(ids[0]), script_->statuses.size());
    for (size_t i = 0; i < script_->statuses.size(); ++i)
        EXPECT_EQ(install_test::Text(ids[i]), script_->statuses[i]) << i;
    EXPECT_EQ(L"Installation completed.", script_->statuses.back());
}

TEST_F(SequenceTest, WindowsXpWithWhqlDriverAlsoTakesTheDriverFirstOrder) {
    script_->driverEndsAtWait = 2;
    EXPECT_EQ(0u, Run(OS_TYPE_XP));
    EXPECT_EQ(Concat({kOpening, {"report 26", "report 30"}, ShortWait(40),
                      {"report 65", "report 70", "service", "report 75"}, kClosing}),
              script_->events);
}

TEST_F(SequenceTest, ServiceFirstOnWindowsXpWithoutWhqlDriver) {
    script_->whqlAfterConfig = FALSE;
    script_->driverEndsAtWait = 33;  // the last wait that still reports (73)
    EXPECT_EQ(0u, Run(OS_TYPE_XP));
    EXPECT_EQ(Concat({kOpening, {"report 30", "service", "report 35", "pause 1000", "report 39", "report 40"},
                      LongWait(73), {"report 75"}, kClosing}),
              script_->events);
    EXPECT_EQ(1u, DriverExitCode());
}

TEST_F(SequenceTest, DriverEndingInTheFirstCycleStillReportsOnce) {
    script_->driverEndsAtWait = 1;
    EXPECT_EQ(0u, Run(OS_TYPE_WIN7));
    EXPECT_EQ(Concat({kOpening, {"report 26", "report 30", "wait 1000", "report 35", "report 65", "report 70",
                                 "service", "report 75"},
                      kClosing}),
              script_->events);

    TearDown();
    SetUp();
    script_->whqlAfterConfig = FALSE;
    script_->driverEndsAtWait = 1;
    EXPECT_EQ(0u, Run(OS_TYPE_XP));
    EXPECT_EQ(Concat({kOpening, {"report 30", "service", "report 35", "pause 1000", "report 39", "report 40",
                                 "wait 2000", "report 41", "report 75"},
                      kClosing}),
              script_->events);
}

TEST_F(SequenceTest, DriverOutlastingTheBudgetCountsAsDone) {
    script_->driverEndsAtWait = 0;
    EXPECT_EQ(0u, Run(OS_TYPE_WIN10));
    EXPECT_EQ(Concat({kOpening, {"report 26", "report 30"}, ShortWait(60), {"wait 1000", "wait 3000"},
                      {"report 65", "report 70", "service", "report 75"}, kClosing}),
              script_->events);
    EXPECT_EQ(STILL_ACTIVE, DriverExitCode());  // still running: nobody waits for it

    TearDown();
    SetUp();
    script_->whqlAfterConfig = FALSE;
    script_->driverEndsAtWait = 0;
    EXPECT_EQ(0u, Run(OS_TYPE_XP));
    // 34 waits of 2 s at most: reports 41 to 73, then the loop ends without a report.
    EXPECT_EQ(Concat({kOpening, {"report 30", "service", "report 35", "pause 1000", "report 39", "report 40"},
                      LongWait(73), {"wait 2000", "report 75"}, kClosing}),
              script_->events);
    EXPECT_EQ(34, script_->timedWaits);
    EXPECT_EQ(STILL_ACTIVE, DriverExitCode());
}

TEST_F(SequenceTest, AnExistingDriverThreadIsWaitedForInsteadOfStarted) {
    script_->driverEndsAtWait = 1;
    ::SetEvent(script_->release);
    gDriverThread = ::CreateThread(nullptr, 0, &FakeDriver, nullptr, 0, nullptr);
    EXPECT_EQ(0u, Run(OS_TYPE_WIN10));
    EXPECT_EQ(Concat({kOpening, {"wait inf", "report 30", "wait 1000", "report 35", "report 65", "report 70",
                                 "service", "report 75"},
                      kClosing}),
              script_->events);
    EXPECT_EQ(1, script_->driverRuns.load());
}

// Each failing step: its log line, the error box and WM_SETUP_ERROR; nothing after it runs.
TEST_F(SequenceTest, EachFailingStepEndsInTheErrorBox) {
    struct Case {
        const char* name;
        void (*arrange)(Script&);
        int osType;
        Events events;
        const char* logLine;
    };
    const Case cases[] = {
        {"extract", [](Script& s) { s.extractOk = false; }, OS_TYPE_WIN10, {"report 5", "extract"}, nullptr},
        {"config", [](Script& s) { s.configOk = false; }, OS_TYPE_WIN10,
         {"report 5", "extract", "pause 200", "report 10", "config"}, nullptr},
        {"copy", [](Script& s) { s.copyOk = false; }, OS_TYPE_WIN10,
         {"report 5", "extract", "pause 200", "report 10", "config", "report 15", "pause 500", "report 20", "copy"},
         nullptr},
        {"driver", [](Script& s) { s.driverExit = 0; }, OS_TYPE_WIN10,
         Concat({kOpening, {"report 26", "report 30", "wait 1000", "report 35"}}), nullptr},
        {"service", [](Script& s) { s.serviceOk = false; }, OS_TYPE_WIN10,
         Concat({kOpening, {"report 26", "report 30", "wait 1000", "report 35", "report 65", "report 70", "service"}}),
         "ThreadSetupDriAndUI>> installUtility Fail!"},
        {"service first", [](Script& s) { s.serviceOk = false; s.whqlAfterConfig = FALSE; }, OS_TYPE_XP,
         Concat({kOpening, {"report 30", "service"}}), "ThreadSetupDriAndUI>> installUtility Fail!"},
        {"driver after service", [](Script& s) { s.driverExit = 0; s.whqlAfterConfig = FALSE; }, OS_TYPE_XP,
         Concat({kOpening, {"report 30", "service", "report 35", "pause 1000", "report 39", "report 40", "wait 2000",
                            "report 41"}}),
         nullptr},
        {"register", [](Script& s) { s.registerOk = false; }, OS_TYPE_WIN10,
         Concat({kOpening, {"report 26", "report 30", "wait 1000", "report 35", "report 65", "report 70", "service",
                            "report 75", "pause 3000", "report 79", "register"}}),
         "ThreadSetupDriAndUI>> createShoutCut Fail!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        log_.Clear();
        c.arrange(*script_);
        EXPECT_EQ(1u, Run(c.osType));
        EXPECT_EQ(Concat({c.events, kFailure}), script_->events);
        ASSERT_EQ(1u, install_test::gBoxes.size());
        EXPECT_EQ(L"Failed to initialize. Uninstall the software and try again after restarting the computer.",
                  install_test::gBoxes[0].text);
        EXPECT_EQ(L"Error!!!", install_test::gBoxes[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_SYSTEMMODAL), install_test::gBoxes[0].type);
        EXPECT_EQ(nullptr, gInstallThread);
        std::vector<std::string> expectedLog{"{ThreadSetupInstall}ThreadSetupInstall start"};
        if (c.logLine) expectedLog.push_back(c.logLine);
        EXPECT_EQ(expectedLog, LogLines(log_.Text()));
    }
}

TEST_F(SequenceTest, FailedDeletionOfTemporaryFilesStillSucceeds) {
    script_->deleteOk = false;
    EXPECT_EQ(0u, Run(OS_TYPE_WIN10));
    EXPECT_EQ(Concat({kOpening, {"report 26", "report 30", "wait 1000", "report 35", "report 65", "report 70",
                                 "service", "report 75"},
                      kClosing}),
              script_->events);
    EXPECT_EQ(L"Installation completed.", script_->statuses.back());
    EXPECT_TRUE(install_test::gBoxes.empty());
    EXPECT_EQ((std::vector<std::string>{"{ThreadSetupInstall}ThreadSetupInstall start",
                                        "ThreadSetupDriAndUI>> delTempFile Fail!"}),
              LogLines(log_.Text()));
}

TEST_F(SequenceTest, AMissingStatusEntryKeepsThePreviousText) {
    script_->missingString = IDS_SETUP_FAILED;
    script_->copyOk = false;
    EXPECT_EQ(1u, Run(OS_TYPE_WIN10));
    ASSERT_EQ(1u, install_test::gBoxes.size());
    EXPECT_EQ(L"Copying uninstaller\x2026", install_test::gBoxes[0].text);

    TearDown();
    SetUp();
    script_->missingString = IDS_STEP_CONFIG_READ;
    EXPECT_EQ(0u, Run(OS_TYPE_WIN10));
    EXPECT_EQ(L"Reading configuration files\x2026", script_->statuses[2]);
}

}  // namespace
