// A classifier: its working directory, capture devices (the default
// instance only), the loaded main templates, its settings and the result,
// trace and failure detail of its last classification. Everything a
// classification needs is on the instance or in the context it builds, so
// instances on different threads run side by side.
//
// The process objects (shared by every instance, each safe to use from any
// thread): the default instance behind the classic exports
// (TheClassifier(), under the lock in Exports.cpp), the engine manager with
// the engine directory behind the engine gate (engines/GeneralRecog.h), the
// page budget (imagefile/ImageCodecs.h, atomic values), the filter record
// kinds (filled once) and the vector tier (image/simd).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api/DecisionTrace.h"
#include "api/RecognisedText.h"
#include "image/Dib.h"

namespace imagefile {
struct DecodeOptions;
}

namespace libMorvaneClassifier {

class CDeviceManager;
class CDevice;
class CMainTemplateEntry;
class CSubTemplate;
struct ClassificationContext;

// Where a page came from, for the context of its classification: the scale
// it was decoded at and the resolution its file states (0: none trusted or
// not asked for).
struct PageOrigin {
    int32_t scaleNum = 1;
    int32_t scaleDen = 1;
    int32_t fileXDpi = 0;
    int32_t fileYDpi = 0;
};

class CClassifier {
public:
    // withDevices: whether Load opens the capture devices of the working
    // directory (the default instance); a classifier without them holds the
    // page it read itself.
    explicit CClassifier(bool withDevices = true);
    ~CClassifier();
    CClassifier(const CClassifier&) = delete;
    CClassifier& operator=(const CClassifier&) = delete;

    int Load(const char16_t* reserved, const char16_t* directory);
    void Free();
    bool IsLoaded() const { return loaded_; }
    const std::u16string& WorkingDirectory() const { return workingDirectory_; }

    int AddMainTemplate(const char16_t* path, int* index);
    int SetPixelResolution(int h, int v, int index);
    int SetTemplateValid(const char16_t* id, int index);
    int ResetAllTemplates(int valid, int index);
    int SetAttribute(int attribute, int value, int index);

    // The common classification step: builds the classification's context
    // and walks. A `disposable` image (one the caller discards afterwards)
    // becomes the driver's working copy.
    int ClassifyImage(const CRawImage& image, int index, CRawImage* disposable = nullptr,
                      const PageOrigin& origin = PageOrigin());
    int ClassifyImageMemory(unsigned char** rows, int width, int height, int bitsPerPixel, int index);
    int Classify(int index);
    int ClassifyImageFile(const char16_t* path, int index);

    // which: 0 Name, 1 ID, 2 OutputID.
    int GetResultText(int which, char16_t* buffer, int* length);
    // The walk of the last classification as JSON text (string-out protocol);
    // -58 with length 0 before any classification.
    int GetDecisionTrace(char16_t* buffer, int* length);
    // The same walk as an indented tree for people (DecisionTraceText.h).
    int GetDecisionTraceText(char16_t* buffer, int* length);
    // Overlays (Overlay.h): while on, each classification keeps a copy of its
    // page so that SaveOverlay can draw the last one to a PNG file.
    void SetOverlayRecording(bool on);
    int SaveOverlay(const char16_t* path);
    // Page orientation search: when a page ends in a default branch (or with
    // no sub-template) it is tried again turned by 90, 180 and 270 degrees.
    void SetOrientationSearch(bool on) { orientationSearch_ = on; }
    bool OrientationSearch() const { return orientationSearch_; }
    // The turn (degrees clockwise) kept by the last classification.
    int GetPageTurn(int* degrees);
    // The resolution the last classification measured the page with and its
    // source (ResolutionSource), and the winning score with its margin.
    int GetPageResolution(int* x, int* y, int* source);
    int GetDecisionMargin(int* score, int* margin);
    // The lines the text filters recognised on the last classification's
    // walked path: all of them as JSON text, their count, or one line's text
    // and box (x, y, width, height). -58 before any classification.
    int GetRecognisedText(char16_t* buffer, int* length);
    int GetRecognisedLineCount(int* count);
    int GetRecognisedLine(int line, char16_t* buffer, int* length, int* box);
    // The recognised lines read as a machine-readable zone and decoded with
    // the engine's candidates (api/RecognisedZone.cpp).
    int GetRecognisedZone(char16_t* buffer, int* length);

    int CaptureImage();
    int SetCapturedAttribute(int attribute, int value);
    int SetCapturedRange(int left, int top, int right, int bottom);
    int IsHavePaper();
    int LoadLocalImage(const char16_t* path);
    int SaveCapturedImage(const char16_t* path, int saveOption);

    int EntryCount() const;
    // Starts the recognition engines of main template `index` (every entry
    // for -1): 0, or -9 with the detail naming the engine and its file.
    int CheckEngines(int index);

    // The detail of the last failure, beside its code: the file and the
    // cause (UTF-8; file names as their bytes). Each call that can fail
    // for a cause a code cannot say clears it first.
    void SetLastErrorDetail(const std::string& utf8) { lastErrorDetail_ = utf8; }
    const std::string& LastErrorDetail() const { return lastErrorDetail_; }
    int GetLastErrorDetail(char16_t* buffer, int* length);

    // Pages of image files and encoded images in memory (ClassifierIntake.cpp).
    // page counts from 0. Each read failure leaves its detail.
    int GetImagePageCount(const char16_t* path, int* count);
    int ClassifyImageFilePage(const char16_t* path, int page, int index);
    int ClassifyEncodedImage(const unsigned char* data, long long size, int page, int index);
    int GetEncodedImagePageCount(const unsigned char* data, long long size, int* count);

    // Reading page files: the working resolution ClassifyImageFile decodes
    // JPEG and JPEG-2000 pages at (0: full resolution) and the threads the
    // JPEG-2000 decoder may use (0: one per core). Settings of the process,
    // kept across LoadClassifier; checked by the caller.
    void SetDecodeResolution(int dpi) { decodeDpi_ = dpi; }
    void SetDecodeThreads(int threads) { decodeThreads_ = threads; }
    // Whether a page read from a file is measured with the resolution its
    // file states (75 to 1200 dpi with an absolute unit, not 72 or 96) when
    // the host set none. A setting of the process.
    void SetFileResolution(bool on) { fileResolution_ = on; }

private:
    // The decode settings ClassifyImageFile reads a page with for entry `index`.
    void PageDecodeOptions(int index, imagefile::DecodeOptions& options) const;
    // Reads page `page` of a file, holds it and classifies it: the one
    // routine behind ClassifyImageFile and ClassifyImageFilePage.
    int ReadAndClassifyPage(const char16_t* path, int page, int index);
    // Holds a page read (on the device, else on the instance) with the
    // scale it was read at; false when there is nowhere to hold it.
    bool HoldPage(std::unique_ptr<CRawImage> image, const imagefile::DecodeOptions& options);
    // Drops the held page after a failed read.
    void DropHeldPage();
    // The page Classify classifies: the device's captured page, else the
    // one the instance holds; null when there is none.
    CRawImage* HeldPage() const;
    // Records why reading `path` failed (the image readers' cause) and
    // answers the read-image failure code.
    int ReadFailed(const char16_t* path);
    CDevice* ActiveDevice() const;
    CMainTemplateEntry* Entry(int index) const;
    static int MapDeviceCode(int answer, int otherwise);
    int ClassifyTurning(const CRawImage& image, const ClassificationContext& context,
                        CMainTemplateEntry& entry, CSubTemplate*& result);
    int ClassifyTurned(const CRawImage& image, int degrees, const ClassificationContext& context,
                       CMainTemplateEntry& entry, CSubTemplate*& result);
    // The recognised lines of the last classification (which must exist).
    std::vector<RecognisedLine> RecognisedLines() const;

    std::vector<std::unique_ptr<CMainTemplateEntry>> entries_;
    CSubTemplate* lastResult_ = nullptr;
    std::unique_ptr<CDeviceManager> devices_;
    const bool withDevices_;
    std::unique_ptr<CRawImage> heldPage_;  // without devices: the page read last
    std::u16string workingDirectory_;
    std::string lastErrorDetail_;
    bool loaded_ = false;
    DecisionTrace lastTrace_;
    WalkRecord lastWalk_;
    int lastEntry_ = -1;
    bool haveTrace_ = false;
    bool keepPage_ = false;           // a setting: kept across LoadClassifier
    CRawImage lastPage_;              // the last page as handed in, while keepPage_
    bool orientationSearch_ = false;  // a setting: kept across LoadClassifier
    int decodeDpi_ = 0;               // a setting: kept across LoadClassifier
    int decodeThreads_ = 0;           // a setting: kept across LoadClassifier
    bool fileResolution_ = false;     // a setting: kept across LoadClassifier
    // The scale the captured page was read at (below 1/1 when
    // ClassifyImageFile decoded it at the working resolution): the
    // resolutions it is measured with are scaled alike whenever that page is
    // classified.
    int32_t pageScaleNum_ = 1;
    int32_t pageScaleDen_ = 1;
};

// The resolution a page's file states, in dots per inch, when it is to be
// trusted: both values from 75 to 1200 with an absolute unit, and neither
// exactly 72 nor 96. false (x and y 0) otherwise.
bool TrustedFileResolution(const CDib& page, int32_t& x, int32_t& y);

// The default instance behind the classic exports.
CClassifier& TheClassifier();

}  // namespace libMorvaneClassifier
