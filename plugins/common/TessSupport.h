// Helpers shared by the Tesseract-based engine plug-ins.
#pragma once
#include <memory>
#include <string>

namespace tesseract {
class TessBaseAPI;
}

namespace morvane_plugins {

// Directory (with a trailing '/') of the shared library holding this code.
std::string PluginDirectory();

// The tessdata directory holding "<language>.traineddata": `configured`
// when given, else $TESSDATA_PREFIX, else the usual system places. Empty
// when the language is not installed.
std::string FindTessdata(const std::string& language, const std::string& configured);

// A Tesseract instance with its messages sent to /dev/null, LSTM engine,
// the given page segmentation mode and (when not empty) character
// whitelist. Null when it cannot be started.
std::unique_ptr<tesseract::TessBaseAPI> StartTesseract(const std::string& tessdata,
                                                       const std::string& language, int pageMode,
                                                       const std::string& whitelist);

// UTF-16 code of the first character of a UTF-8 text (0 when none or
// outside the basic plane).
unsigned short FirstUtf16(const char* utf8);

// A file relative to the plug-in directory, else to the current directory;
// empty when neither exists.
std::string FindBesidePlugin(const std::string& name);

}  // namespace morvane_plugins
