#include "payload/standin/record.h"

#include <cstdlib>

#include "framework/win.h"

namespace si_standin {

namespace {

bool ReadWhole(const std::wstring& path, std::string* bytes, bool* missing) {
    bytes->clear();
    *missing = false;
    si::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = ::GetLastError();
        *missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return false;
    }
    char buffer[16384];
    DWORD n = 0;
    for (;;) {
        if (!::ReadFile(file.get(), buffer, sizeof(buffer), &n, nullptr)) return false;
        if (n == 0) return true;
        bytes->append(buffer, n);
    }
}

bool FromUtf8(const std::string& text, std::wstring* out) {
    out->clear();
    if (text.empty()) return true;
    int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                  nullptr, 0);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                 &(*out)[0], n) == n;
}

bool DecodeField(const std::string& field, std::wstring* out) {
    std::string text;
    return Unescape(field, &text) && FromUtf8(text, out);
}

// One line without its "\n": four tab-separated fields.
bool ParseLine(const std::string& line, StandinStart* start) {
    std::string fields[4];
    size_t from = 0;
    for (int i = 0; i < 4; ++i) {
        size_t tab = line.find('\t', from);
        if ((i < 3) != (tab != std::string::npos)) return false;
        fields[i] = line.substr(from, i < 3 ? tab - from : std::string::npos);
        from = tab + 1;
    }
    if (!DecodeField(fields[0], &start->module) || !DecodeField(fields[1], &start->commandLine) ||
        !DecodeField(fields[2], &start->currentDir))
        return false;
    const std::string& show = fields[3];
    if (show.empty() || show.size() > 6) return false;
    char* end = nullptr;
    long value = std::strtol(show.c_str(), &end, 10);
    if (*end != '\0') return false;
    start->showWindow = static_cast<int>(value);
    return true;
}

}  // namespace

std::wstring StandinStart::FileName() const {
    size_t slash = module.find_last_of(L"\\/");
    return slash == std::wstring::npos ? module : module.substr(slash + 1);
}

bool ReadStandinRecord(const std::wstring& path, std::vector<StandinStart>* starts) {
    starts->clear();
    std::string bytes;
    bool missing = false;
    if (!ReadWhole(path, &bytes, &missing)) return missing;
    size_t from = 0;
    while (from < bytes.size()) {
        size_t end = bytes.find('\n', from);
        if (end == std::string::npos) return false;  // a line cut short
        StandinStart start;
        if (!ParseLine(bytes.substr(from, end - from), &start)) return false;
        starts->push_back(std::move(start));
        from = end + 1;
    }
    return true;
}

std::vector<StandinStart> StartsOf(const std::vector<StandinStart>& starts, const std::wstring& fileName) {
    std::vector<StandinStart> out;
    for (const StandinStart& start : starts) {
        if (::lstrcmpiW(start.FileName().c_str(), fileName.c_str()) == 0) out.push_back(start);
    }
    return out;
}

ScopedEnv::ScopedEnv(const std::wstring& name, const std::wstring& value, bool unset) : name_(name) {
    DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size != 0) {
        saved_.resize(size);
        DWORD n = ::GetEnvironmentVariableW(name.c_str(), &saved_[0], size);
        hadValue_ = n < size;
        saved_.resize(hadValue_ ? n : 0);
    }
    ::SetEnvironmentVariableW(name.c_str(), unset ? nullptr : value.c_str());
}

ScopedEnv::~ScopedEnv() {
    ::SetEnvironmentVariableW(name_.c_str(), hadValue_ ? saved_.c_str() : nullptr);
}

}  // namespace si_standin
