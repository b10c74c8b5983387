// Writes resources of the executable, byte for byte, as files into the unpack
// folder. Which resources, and under which names, comes from a resource list
// in the string table: "131-103,130-104" writes resource 131 under the name of
// string 103, then resource 130 under the name of string 104.
#pragma once

#include <windows.h>

#include <string>

struct ResDot {
    int nameId = 0;
    int resId = 0;
    const wchar_t* resType = nullptr;
    std::wstring filePath;
    ResDot* next = nullptr;
};

class UnPackFromRes {
public:
    UnPackFromRes() = default;
    ~UnPackFromRes();
    UnPackFromRes(const UnPackFromRes&) = delete;
    UnPackFromRes& operator=(const UnPackFromRes&) = delete;

    // All return 1 for success, 0 for failure.
    int InitResouse(HMODULE module, const wchar_t* resType, UINT listStringId);
    int SetOutDir();  // creates gUnPackDirPath with its parents and binds to it
    int UnPack();     // rebuilds the list and writes every entry

    // For inspection.
    int Count() const { return count; }
    const ResDot* Head() const { return head; }

    // Internal steps, reachable for tests.
    void ClearResList();
    int GetResourceList();
    int AddDotToResList(ResDot* dot);
    int UnPackFromList();
    int WriteResToFile(int resId, const wchar_t* filePath, const wchar_t* type);

private:
    // Logs and fails when SetOutDir or InitResouse has not run yet.
    int Ready(const wchar_t* operation) const;
    ResDot* MakeDot(const std::wstring& item, const std::wstring& folder, std::wstring* lastName);

    HMODULE module = nullptr;
    const wchar_t* outDir = nullptr;
    const wchar_t* resType = nullptr;
    ResDot* head = nullptr;
    ResDot* tail = nullptr;
    int count = 0;
    UINT listStringId = 0;
    int initialised = 0;
    int outDirSet = 0;
};

// The three calls in a row, as start-up and the main dialog make them; any
// failure is logged and ends the process with exit code 0, without a message.
void UnpackResourcesOrExit(UnPackFromRes& unpack, UINT listStringId);
