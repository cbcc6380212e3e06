#include "settings/settings_path.h"

#include "options/text_helpers.h"
#include "platform/executable_path.h"
#include "platform/windows_api.h"

namespace {

constexpr size_t kNormalizeBuffer = 1024;

bool isSeparator(char c) {
    return c == '\\' || c == '/' || c == ':';
}

}  // namespace

std::string settingsFilePath(const std::string& name) {
    const std::string directory = normalizePath(pathDirectory(executablePath()));
    if (name.empty()) {
        return directory;
    }
    return joinPath(directory, name);
}

std::string pathDirectory(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) {
            return leftText(path, static_cast<int>(i));
        }
    }
    return std::string();
}

std::string normalizePath(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    // Neither the long form nor the full form of a path this long fits the work buffers;
    // copying it there would overrun them.
    if (path.size() >= kNormalizeBuffer) {
        return path;
    }
    char buffer[kNormalizeBuffer];
    buffer[0] = '\0';
    const DWORD longLength = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
    if (longLength != 0 && buffer[0] == '\0') {
        return path;
    }
    if (longLength == 0) {
        strcpy_s(buffer, sizeof buffer, path.c_str());
    }
    const std::string longForm = buffer;
    if (longForm.empty()) {
        return path;
    }
    if (_fullpath(buffer, longForm.c_str(), sizeof buffer) == nullptr) {
        return longForm;
    }
    return buffer;
}

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty() || isAbsolutePath(name)) {
        return name;
    }
    std::string result = directory;
    ensureTrailingSeparator(result);
    if (!name.empty()) {
        result.append(name, isSeparator(name[0]) ? 1 : 0, std::string::npos);
    }
    return result;
}

void ensureTrailingSeparator(std::string& text) {
    if (!text.empty() && !isSeparator(text.back())) {
        text += kNativePathSeparator;
    }
}

bool isAbsolutePath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    return (path.size() >= 2 && path[1] == ':') || startsWith(path, "\\") || startsWith(path, "/");
}
