// Helpers shared by the XML document tests.
#pragma once
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "core/TextConv.h"

namespace xmltest {

inline std::string DataPath(const std::string& name) {
    return std::string(MORVANE_TEST_DIR) + "/xml/data/" + name;
}

inline std::u16string DataPath16(const std::string& name) {
    return libMorvaneClassifier::Utf8ToUtf16(DataPath(name));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A file name in the test temporary directory, unique per process.
inline std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "/morvane_xml_" + std::to_string(getpid()) + "_" + name;
}

inline std::u16string U16(const std::string& utf8) { return libMorvaneClassifier::Utf8ToUtf16(utf8); }
inline std::string U8(const std::u16string& text) { return libMorvaneClassifier::Utf16ToUtf8(text); }

}  // namespace xmltest
