// Opening files the library reads without trusting the path: only regular
// files are read (a FIFO would block the host forever, a device such as
// /dev/zero never ends), and every read has a size limit of its kind.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace libMorvaneClassifier {

// Size limits per kind of file.
constexpr size_t kMaxTemplateFileBytes = size_t(64) << 20;  // XML templates
constexpr size_t kMaxDeviceListBytes = size_t(1) << 20;     // "ClasDevices.dat"
constexpr size_t kMaxImageFileBytes = size_t(1) << 30;      // image files

// Opens a file for reading only when it is a regular file. The open itself
// does not block (O_NONBLOCK), the type is checked on the descriptor (no race
// with a rename), then the descriptor returns to blocking reads. Null when the
// file is missing, unreadable or not a regular file.
std::FILE* OpenRegularFileForReading(const std::string& path);

// Opens a file for writing ("wb" semantics) unless the path names something
// other than a regular file (a FIFO or device would block or swallow the data).
std::FILE* OpenRegularFileForWriting(const std::string& path);

// Reads a whole regular file of at most maxBytes bytes into `data`. False
// (data empty) when the file cannot be opened as a regular file, is larger
// than maxBytes, or a read fails.
bool ReadRegularFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& data);

}  // namespace libMorvaneClassifier
