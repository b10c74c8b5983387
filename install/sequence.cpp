#include "install/sequence.h"

#include "diag/log.h"
#include "resources/resource_ids.h"
#include "state/globals.h"
#include "state/messages.h"

namespace si {
namespace {

class Sequence {
public:
    Sequence(const InstallSteps& steps, const SequenceHost& host, const OsInfo& os)
        : steps_(steps), host_(host), os_(os) {}

    DWORD Run() {
        WriteLog(L"{ThreadSetupInstall}ThreadSetupInstall start\n");
        if (!Opening()) return Fail();
        // Windows XP with a driver that is not WHQL-signed wants the service first.
        const bool serviceFirst = os_.osType == OS_TYPE_XP && !gDriverWHQL;
        if (!(serviceFirst ? ServiceFirst() : DriverFirst())) return Fail();
        if (!Closing()) return Fail();
        gInstallThread = nullptr;
        return 0;
    }

private:
    // A status id whose entry is missing keeps the previous text.
    void Load(UINT id) {
        std::wstring text = host_.loadString(id);
        if (!text.empty()) status_ = std::move(text);
    }
    void Report(UINT id, int percent) {
        Load(id);
        host_.report(status_, percent, false);
    }

    bool Opening() {
        Report(IDS_STEP_EXTRACTING, 5);
        if (!steps_.extractSetupFiles()) return false;
        host_.pause(200);
        Report(IDS_STEP_READING_CONFIG, 10);
        if (!steps_.readConfig()) return false;
        Report(IDS_STEP_CONFIG_READ, 15);
        host_.pause(500);
        Report(IDS_STEP_COPYING_UNINSTALLER, 20);
        if (!steps_.copyUninstaller()) return false;
        Report(IDS_STEP_UNINSTALLER_COPIED, 25);
        host_.pause(200);
        return true;
    }

    // Starts the driver thread, or waits for one that is already there.
    void StartDriver(int loadingPercent) {
        if (gDriverThread) {
            host_.waitDriver(gDriverThread, INFINITE);
            return;
        }
        Report(IDS_STEP_LOADING, loadingPercent);
        gDriverThread = ::CreateThread(nullptr, 0, steps_.setupDriver, nullptr, 0, nullptr);
    }

    // A thread still running reports STILL_ACTIVE, which counts as done: the
    // driver tool goes on by itself. No thread at all is a failure.
    bool DriverSucceeded() {
        DWORD status = 0;
        if (gDriverThread) ::GetExitCodeThread(gDriverThread, &status);
        return status != 0;
    }

    bool InstallService() {
        if (steps_.installService()) return true;
        WriteLog(L"ThreadSetupDriAndUI>> installUtility Fail!\n");
        return false;
    }

    bool DriverFirst() {
        StartDriver(26);
        Report(IDS_STEP_START_INSTALLING, 30);
        if (gDriverThread) {
            // Reports 35 to 60 by fives while the driver runs, at most 10 s.
            for (int counter = 30;;) {
                const DWORD wait = host_.waitDriver(gDriverThread, 1000);
                if (counter == 60) {
                    host_.waitDriver(gDriverThread, 3000);
                    break;
                }
                counter += 5;
                Report(IDS_STEP_INSTALLING_DRIVER, counter);
                if (wait == WAIT_OBJECT_0) break;
            }
        }
        if (!DriverSucceeded()) return false;
        Report(IDS_STEP_DRIVER_DONE, 65);
        Report(IDS_STEP_INSTALLING_SERVICE, 70);
        if (!InstallService()) return false;
        Report(IDS_STEP_SERVICE_DONE, 75);
        return true;
    }

    bool ServiceFirst() {
        Report(IDS_STEP_INSTALLING_SERVICE, 30);
        if (!InstallService()) return false;
        Report(IDS_STEP_SERVICE_DONE, 35);
        host_.pause(1000);
        StartDriver(39);
        Report(IDS_STEP_START_INSTALLING, 40);
        if (gDriverThread) {
            // Reports 41 to 73 by ones while the driver runs, at most 68 s.
            for (int counter = 40;;) {
                const DWORD wait = host_.waitDriver(gDriverThread, 2000);
                if (counter < 74) ++counter;
                if (counter == 74) break;
                Report(IDS_STEP_INSTALLING_DRIVER, counter);
                if (wait == WAIT_OBJECT_0) break;
            }
        }
        if (!DriverSucceeded()) return false;
        Report(IDS_STEP_DRIVER_DONE, 75);
        return true;
    }

    bool Closing() {
        host_.pause(3000);
        Report(IDS_STEP_CREATING_SHORTCUT, 79);
        if (!steps_.registerUninstall()) {
            WriteLog(L"ThreadSetupDriAndUI>> createShoutCut Fail!\n");
            return false;
        }
        host_.pause(1500);
        Report(IDS_STEP_SHORTCUT_DONE, 83);
        host_.pause(2000);
        Report(IDS_STEP_DELETING_TEMP, 91);
        // Files still in use (the language library) may stay: they go at exit.
        if (!steps_.deleteTempFiles()) WriteLog(L"ThreadSetupDriAndUI>> delTempFile Fail!\n");
        host_.pause(2000);
        Report(IDS_STEP_TEMP_DELETED, 98);
        host_.pause(2000);
        Load(IDS_STEP_COMPLETED);
        host_.report(status_, 100, true);
        host_.pause(2000);
        host_.sendToDialog(WM_SETUP_END);
        return true;
    }

    DWORD Fail() { return FailInstallSequence(host_, status_); }

    const InstallSteps& steps_;
    const SequenceHost& host_;
    const OsInfo os_;
    std::wstring status_;  // reused for the whole run
};

}  // namespace

DWORD FailInstallSequence(const SequenceHost& host, const std::wstring& lastStatus) {
    const std::wstring text = host.loadString(IDS_SETUP_FAILED);
    ShowErrorBox(host.messageBox, (text.empty() ? lastStatus : text).c_str());
    host.sendToDialog(WM_SETUP_ERROR);
    gInstallThread = nullptr;
    return 1;
}

DWORD RunInstallSequence(const InstallSteps& steps, const SequenceHost& host, const OsInfo& os) {
    return Sequence(steps, host, os).Run();
}

}  // namespace si
