// File names of the engine libraries and data files that are known only by
// their role. Each has a default (below) and can be changed before the
// engine is first started. Names ending in ".dll" are mapped to the shared
// object loaded on this system ("GrayCore.dll" -> "libGrayCore.so"), and all
// files are looked for in the engine directory first (platform/EngineFiles.h).
#pragma once
#include <string>

namespace libMorvaneClassifier {

enum class EngineRole {
    PrintedLine,      // sub types 0, 1: "PrintedLine.dll"
    PrintedChar,      // sub type 2: "PrintedChar.dll"
    Handwriting,      // sub type 3: "HandLine.dll"
    HandDigit,        // sub type 4: "HandDigit.dll"
    GridDigit,        // sub type 5: "GridDigit.dll"
    GrayChinese,      // sub type 8: "GrayChinese.dll"
    GrayCore,         // sub types 6, 7, 9, 10, 11: "GrayCore.dll"
    GrayGeneralData,  // data file of sub type 7: "grayocr_general.lib"
    FormKernel,       // main type 2: "FormKernel.dll"
    BarcodeControl,   // main type 3, registered first: "BarcodeControl.dll"
    BarcodeReader,    // main type 3, the reader: "BarcodeReader.dll"
    Count
};

// The name currently set for a role.
const std::string& EngineFileName(EngineRole role);
// Changes the name for a role (an empty name restores the default).
void SetEngineFileName(EngineRole role, const std::string& name);
// The default name of a role.
const char* DefaultEngineFileName(EngineRole role);

}  // namespace libMorvaneClassifier
