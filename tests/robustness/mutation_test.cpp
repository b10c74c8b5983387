// The decoder library fed thousands of damaged archives: mutated bytes (with
// and without the header checksums repaired, so the damage reaches the
// parser), truncations, cut and repeated chunks. No crash, no hang, a failure
// code wherever the data is bad, and nothing written outside the output folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "decoder/7zdec.h"
#include "framework/win.h"
#include "tests/support/e2e.h"
#include "tests/support/test_support.h"

namespace {

uint32_t Crc32(const unsigned char* data, size_t size) {
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void Put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
uint64_t Get64(const std::string& s, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

// Recomputes the start header's and the next header's checksums, so a
// mutation inside the header is parsed instead of refused at the door.
void RepairChecksums(std::string& a) {
    if (a.size() < 32) return;
    const uint64_t offset = Get64(a, 12), size = Get64(a, 20);
    if (offset <= a.size() && size <= a.size() - 32 && 32 + offset + size <= a.size()) {
        const auto* next = reinterpret_cast<const unsigned char*>(a.data()) + 32 + offset;
        Put32(a, 28, Crc32(next, static_cast<size_t>(size)));
    }
    Put32(a, 8, Crc32(reinterpret_cast<const unsigned char*>(a.data()) + 12, 20));
}

std::string Mutate(const std::string& seed, std::mt19937& rng) {
    std::string a = seed;
    auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    switch (rng() % 6) {
    case 0:  // truncation
        a.resize(pick(a.size()));
        break;
    case 1:  // a cut chunk
        if (a.size() > 2) a.erase(pick(a.size()), 1 + pick(std::min<size_t>(64, a.size() / 2)));
        break;
    case 2: {  // a repeated chunk
        size_t at = pick(a.size()), len = 1 + pick(32);
        a.insert(at, a.substr(at, len));
        break;
    }
    default: {  // flipped bytes, biased towards the header at the end
        const int flips = 1 + static_cast<int>(rng() % 8);
        const size_t headerStart = a.size() > 32 ? 32 + static_cast<size_t>(std::min<uint64_t>(Get64(a, 12), a.size() - 32)) : 0;
        for (int i = 0; i < flips && !a.empty(); ++i) {
            size_t at = (rng() % 3 && headerStart < a.size()) ? headerStart + pick(a.size() - headerStart) : pick(a.size());
            const unsigned char values[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
            a[at] = static_cast<char>(rng() % 2 ? values[rng() % 5] : (a[at] ^ (1 << (rng() % 8))));
        }
        if (rng() % 2) RepairChecksums(a);
    }
    }
    return a;
}

// The names directly inside `folder` (not recursive).
std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    si::unique_find find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find) {
        do names.push_back(data.cFileName);
        while (::FindNextFileW(find.get(), &data));
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Call {
    ExtractFilesFn extract;
    std::string archive;
    std::wstring out;
    int result;
};

DWORD WINAPI RunExtraction(void* param) {
    auto* call = static_cast<Call*>(param);
    call->result = call->extract(call->archive.c_str(), call->out.c_str(), nullptr);
    return 0;
}

TEST(DecoderRobustness, ThousandsOfDamagedArchivesFailCleanly) {
    const std::wstring build = si_test::BuildDir();
    si::unique_hmodule dll(::LoadLibraryW((build + L"\\bin\\7zDec.dll").c_str()));
    ASSERT_TRUE(dll);
    auto extract = reinterpret_cast<ExtractFilesFn>(reinterpret_cast<void*>(::GetProcAddress(dll.get(), "ExtractFiles")));
    ASSERT_NE(extract, nullptr);

    std::vector<std::string> seeds;
    for (const wchar_t* name : {L"solid_bcj2", L"lzma2", L"plain_header", L"copy"}) {
        std::string bytes;
        ASSERT_TRUE(si_test::ReadFileBytes(build + L"\\tests\\robustness\\seeds\\" + name + L".7z", &bytes));
        seeds.push_back(bytes);
    }

    si_test::TempDir dir(L"mutants");
    const std::wstring input = dir / L"input.7z";
    const std::string narrowInput = si_test::Narrow(input);
    // Entries escaping the output folder would land beside it, at the drive
    // root or in the decoder's own folder.
    const std::vector<std::wstring> driveBefore = Names(L"C:"), binBefore = Names(build + L"\\bin");

    std::mt19937 rng(20261208);  // fixed: every run feeds the same inputs
    const DWORD budgetMs = 45000;
    const DWORD start = ::GetTickCount();
    int runs = 0, ok = 0, failed = 0, other = 0;
    for (int i = 0; i < 3000 && ::GetTickCount() - start < budgetMs; ++i, ++runs) {
        const std::string& seed = seeds[static_cast<size_t>(i) % seeds.size()];
        const std::string mutant = Mutate(seed, rng);
        ASSERT_TRUE(si_test::WriteFileBytes(input, mutant));
        const std::wstring out = dir / L"out";
        si_test::RemoveTree(out);
        ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));

        Call call{extract, narrowInput, out + L"\\", -1};
        si::unique_handle thread(::CreateThread(nullptr, 0, &RunExtraction, &call, 0, nullptr));
        ASSERT_TRUE(thread);
        if (::WaitForSingleObject(thread.get(), 20000) != WAIT_OBJECT_0) {
            si_test::WriteFileBytes(si_test::ArtefactDir() + L"\\hang.7z", mutant);
            FAIL() << "extraction of mutant " << i << " did not end (saved as hang.7z)";
        }
        if (call.result == EXTRACT_OK && mutant != seed) {
            // Harmless damage (padding, an unused property) may still extract.
            ++ok;
        } else if (call.result == EXTRACT_FAILED || (call.result >= 3 && call.result <= 5)) {
            ++failed;
        } else if (call.result != EXTRACT_OK) {
            ++other;
            ADD_FAILURE() << "mutant " << i << " gave result " << call.result;
        }
        // Nothing may land beside the output folder.
        const std::vector<std::wstring> beside = si_test::ListTree(dir.path());
        for (const std::wstring& entry : beside)
            if (entry != L"input.7z" && entry != L"out" && entry.rfind(L"out\\", 0) != 0)
                ADD_FAILURE() << "mutant " << i << " wrote " << si_test::Narrow(entry);
    }
    EXPECT_EQ(Names(L"C:"), driveBefore);
    EXPECT_EQ(Names(build + L"\\bin"), binBefore);
    EXPECT_GE(runs, 500);
    EXPECT_EQ(other, 0);
    printf("[ robustness ] %d damaged archives in %lu ms: %d refused (3-5, 7), %d still extracted\n", runs,
           static_cast<unsigned long>(::GetTickCount() - start), failed, ok);
}

}  // namespace
