#include "engines/EngineSettings.h"

#include <array>

namespace libMorvaneClassifier {

namespace {

constexpr size_t kRoles = static_cast<size_t>(EngineRole::Count);

constexpr std::array<const char*, kRoles> kDefaults = {
    "PrintedLine.dll", "PrintedChar.dll",    "HandLine.dll",      "HandDigit.dll",
    "GridDigit.dll",   "GrayChinese.dll",    "GrayCore.dll",      "grayocr_general.lib",
    "FormKernel.dll",  "BarcodeControl.dll", "BarcodeReader.dll",
};

std::array<std::string, kRoles>& Names() {
    static std::array<std::string, kRoles> names = [] {
        std::array<std::string, kRoles> n;
        for (size_t i = 0; i < kRoles; ++i) n[i] = kDefaults[i];
        return n;
    }();
    return names;
}

size_t Index(EngineRole role) {
    size_t i = static_cast<size_t>(role);
    return i < kRoles ? i : 0;
}

}  // namespace

const std::string& EngineFileName(EngineRole role) { return Names()[Index(role)]; }

void SetEngineFileName(EngineRole role, const std::string& name) {
    Names()[Index(role)] = name.empty() ? std::string(kDefaults[Index(role)]) : name;
}

const char* DefaultEngineFileName(EngineRole role) { return kDefaults[Index(role)]; }

}  // namespace libMorvaneClassifier
