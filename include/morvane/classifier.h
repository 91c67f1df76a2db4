/* Morvane Classifier: public C interface.
 *
 * A host calls LoadClassifier once, adds main templates with AddMainTemplate,
 * classifies pages (ClassifyImageFile, ClassifyImageMemory, Classify) and reads
 * the winning sub-template with GetTemplateName, GetTemplateID and
 * GetTemplateOutputID. Every function except FreeClassifier returns 0 on
 * success and a negative code on failure; GetErrorMsg turns a code into text.
 * Text is zero-terminated UTF-16; lengths count UTF-16 code units including
 * the terminator.
 *
 * Threads: every exported function of the one classifier instance (all
 * functions declared here except those of morvane/j2k.h) takes one
 * process-wide lock for the whole call, so calls from several host threads
 * are served one after another and each sees the classifier as the previous
 * call left it. A thread that classifies and then reads the result with
 * GetTemplateName and its kin must keep other threads from classifying in
 * between (a lock of its own around the sequence); the library cannot know
 * which calls belong together. Calls on the one instance never run side by
 * side: a host that wants pages classified at the same time creates
 * classifier handles (MorvaneClassifierCreate, below), one per thread, or
 * runs separate processes.
 */
#ifndef MORVANE_CLASSIFIER_H
#define MORVANE_CLASSIFIER_H

#if defined(_WIN32)
#include <wchar.h>
typedef wchar_t MorvaneChar;
#if defined(_M_IX86) || defined(__i386__)
#define MORVANE_CALL __stdcall
#else
#define MORVANE_CALL
#endif
#if defined(MORVANE_BUILDING_LIBRARY)
#define MORVANE_API __declspec(dllexport)
#else
#define MORVANE_API __declspec(dllimport)
#endif
#else
#ifdef __cplusplus
typedef char16_t MorvaneChar;
#else
#include <uchar.h>
typedef char16_t MorvaneChar;
#endif
#define MORVANE_CALL
#define MORVANE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
enum {
    MORVANE_OK = 0,
    MORVANE_ERR_READ_DEVICE_FILE = -2,
    MORVANE_ERR_OPEN_DEVICE = -3,
    MORVANE_ERR_READ_MAIN_TEMPLATE = -4,
    MORVANE_ERR_SAVE_MAIN_TEMPLATE = -5,
    MORVANE_ERR_READ_FILTER_TEMPLATE = -6,
    MORVANE_ERR_SAVE_FILTER_TEMPLATE = -7,
    MORVANE_ERR_CLASSIFY = -8,
    MORVANE_ERR_EXTRACT_FEATURE = -9,
    MORVANE_ERR_ANALYZE_TEXT_LINE = -10,
    MORVANE_ERR_SEGMENT_CHARS = -11,
    MORVANE_ERR_READ_SUBTEMPLATE = -12,
    MORVANE_ERR_SAVE_SUBTEMPLATE = -13,
    MORVANE_ERR_MERGE_CHARS = -14,
    MORVANE_ERR_EXTRACT_LINE = -15,
    MORVANE_ERR_READ_IMAGE = -16,
    MORVANE_ERR_SAVE_IMAGES = -17,
    MORVANE_ERR_CAPTURE = -18,
    MORVANE_ERR_NO_PAPER = -19,
    MORVANE_ERR_INVALID_HANDLE = -56,
    MORVANE_ERR_CALL_ORDER = -58,
    MORVANE_ERR_NOT_SUPPORTED = -59,
    MORVANE_ERR_UNINITIALIZED = -60,
    MORVANE_ERR_INVALID_PARAMETER = -61,
    MORVANE_ERR_NO_MEMORY = -62,
    MORVANE_ERR_UNDEFINED = -63
};

/* Loading and settings. */
MORVANE_API int MORVANE_CALL LoadClassifier(const MorvaneChar* reserved, const MorvaneChar* directory);
MORVANE_API void MORVANE_CALL FreeClassifier(void);
MORVANE_API int MORVANE_CALL AddMainTemplate(const MorvaneChar* path, int* index);
MORVANE_API int MORVANE_CALL SetPixelResolution(int horizontalDpi, int verticalDpi, int index);
MORVANE_API int MORVANE_CALL SetTemplateValid(const MorvaneChar* templateId, int reserved, int index);
MORVANE_API int MORVANE_CALL ResetAllTemplates(int valid, int index);
MORVANE_API int MORVANE_CALL SetAttribute(int attribute, int value, int index);

/* Classification. rows: `height` pointers to the caller's pixel rows, top
 * row first; 1-bit rows have the leftmost pixel in the most significant bit
 * (set bit = black), 8-bit rows are gray levels, 24-bit rows are blue, green,
 * red. */
MORVANE_API int MORVANE_CALL ClassifyImageFile(const MorvaneChar* path, int index);
MORVANE_API int MORVANE_CALL ClassifyImageMemory(unsigned char** rows, int width, int height,
                                                 int bitsPerPixel, int index);
MORVANE_API int MORVANE_CALL Classify(int index);

/* Results: ask for the length with a null buffer, then copy. */
MORVANE_API int MORVANE_CALL GetTemplateName(MorvaneChar* buffer, int* length);
MORVANE_API int MORVANE_CALL GetTemplateID(MorvaneChar* buffer, int* length);
MORVANE_API int MORVANE_CALL GetTemplateOutputID(MorvaneChar* buffer, int* length);

/* Messages and version. */
MORVANE_API int MORVANE_CALL GetErrorMsg(int code, MorvaneChar* buffer, int* length);
MORVANE_API int MORVANE_CALL GetSDKVersion(MorvaneChar* buffer, int* length);

/* Capture device. */
MORVANE_API int MORVANE_CALL CaptureImage(void);
MORVANE_API int MORVANE_CALL SetCapturedAttribute(int attribute, int value);
MORVANE_API int MORVANE_CALL SetCapturedRange(int left, int top, int right, int bottom);
MORVANE_API int MORVANE_CALL IsHavePaper(void);
MORVANE_API int MORVANE_CALL LoadLocalImage(const MorvaneChar* path);
MORVANE_API int MORVANE_CALL SaveCapturedImage(const MorvaneChar* path, int saveOption);

/* Beyond the classic interface (functions prefixed "Morvane"). */

/* The page budget every image reader checks from a file's header before it
 * allocates anything: at most `maxPixels` pixels per page (default 36
 * million: an A4 or Letter page at 600 dpi) and `maxDecoderBytes` bytes of
 * decoder memory (default 384 MiB), reckoned per decoding path: the page
 * itself (1 bit, 1 or 3 bytes per pixel) and what the path holds beside it
 * (run-length BMP: 1 byte per pixel; progressive JPEG: 2 bytes per
 * coefficient and component; TIFF read through RGBA: one band at 4 bytes
 * per pixel).
 * Files over budget fail to read (-16, with the cause in
 * MorvaneGetLastErrorDetail; j2k_decode returns 0). A value of 0
 * restores that value's default. Process-wide, kept across LoadClassifier
 * and FreeClassifier; the classifier need not be loaded. Returns 0, or -61
 * for a negative value. */
MORVANE_API int MORVANE_CALL MorvaneSetPageBudget(long long maxPixels, long long maxDecoderBytes);

/* The working resolution ClassifyImageFile reads pages at. With `dpi` set,
 * a JPEG page is decoded at the smallest DCT scale (1/8 to 8/8 of its size)
 * and a JPEG-2000 page with the most resolution levels dropped (1/2, 1/4,
 * ... of its size) whose resolution is still at least `dpi`; other formats,
 * and pages already at or below `dpi`, are read at full size. The page's
 * resolution is the one SetPixelResolution gave for that main template,
 * else the one the file states (JPEG: a JFIF density from 75 to 1200 dots
 * per inch; a JPEG-2000 codestream counts as 300); a page whose resolution
 * is not known is read at full size. The page budget (MorvaneSetPageBudget)
 * holds for the page as decoded. A reduced page carries its reduced
 * resolution, and every resolution it is measured with (SetPixelResolution's,
 * a size filter's own) is reduced alike while it is classified, also by a
 * later Classify, so physical sizes measure as before. Filters that count
 * pixels (grid, frame lines, text) see fewer of them unless their chains
 * normalise the resolution (step type 21) to at most `dpi`: set it no higher
 * than the templates need. LoadLocalImage always reads at full size. 0 (the
 * default) reads every page at full size. A setting of the process, kept
 * across LoadClassifier; the classifier need not be loaded. Returns 0, or
 * -61 for a value other than 0 or 75 to 1200. */
MORVANE_API int MORVANE_CALL MorvaneSetDecodeResolution(int dpi);

/* Threads the JPEG-2000 decoder may use for one page that ClassifyImageFile
 * or LoadLocalImage reads: 0 (the default) one per processor core, 1 only
 * the calling thread, n at most n. A host that classifies several pages at
 * once in separate processes sets 1. A setting of the process, kept across
 * LoadClassifier; the classifier need not be loaded. Returns 0, or -61 for
 * a value below 0 or above 64. */
MORVANE_API int MORVANE_CALL MorvaneSetDecodeThreads(int threads);

/* The decision trace of the last classification (any of the three
 * classification functions) as one JSON object in UTF-16, with the length
 * protocol of GetTemplateName. It shows the walked path: per level the
 * group, the filters run there (index, name, "process" "threshold" with its
 * threshold - a child passes when its score is above it - or "weight" with
 * its weight), every child with its score per filter ("score" as compared,
 * "total" the child's record after the threshold or weight, "passed"), and
 * the choice: "score" (best passing child), "default" (no child passed, the
 * default branch was taken), "none" (nothing passed, no default branch),
 * "no-filters" or "final" (the group whose sub-template is the answer).
 * Also "result" (ID, name, output ID or null), "code", "shortcut" and
 * "orientation" (whether the search ran, turns tried, turn kept). A child a
 * text filter compared has "notes": per such filter {"filter", "method",
 * "recognisedLines", "lines":[{"expected", "recognised", "score"}...]} with
 * at most six lines (then "moreLines") and texts cut at 48 characters
 * followed by "...".
 * Recording costs no image work; the text is built when asked for.
 * Not loaded: -60. No classification since LoadClassifier: -58 and
 * *length = 0. A classification refused by its argument checks keeps the
 * previous trace, as it keeps the previous result. */
MORVANE_API int MORVANE_CALL MorvaneGetDecisionTrace(MorvaneChar* buffer, int* length);

/* The same walk as an indented tree for people to read (UTF-16 text, one
 * line per fact, lines ended by a line feed): the result, then per level,
 * indented four spaces deeper than its parent, the group ("[Index] Name"),
 * how the child was chosen, the filters run with their threshold or
 * weight, and every child with its total, "passed"/"failed" and its score
 * per filter; the chosen child is marked "*". Control characters in names
 * are shown as '?'. The layout is for people and may change; programs read
 * MorvaneGetDecisionTrace. Same codes as MorvaneGetDecisionTrace. */
MORVANE_API int MORVANE_CALL MorvaneGetDecisionTraceText(MorvaneChar* buffer, int* length);

/* Page overlays: a picture of why the last page was classified as it was.
 * MorvaneSetOverlayRecording(1) makes every following classification keep
 * a copy of its page (the memory of one page; 0 drops it; a setting of the
 * process, kept across LoadClassifier). MorvaneSaveOverlay(path) then
 * writes a PNG (or the format the suffix names) of the last classification:
 * the page after the main template's preprocessing (turned as the
 * orientation search kept it), scaled to at most 1000 pixels on its long
 * side, with what each filter of the walked path measured drawn on it
 * against the reference of the chosen child - the page outline and its size
 * (size filters), grid cells shaded red where they hold more ink than
 * expected and blue where less, with both counts (grid filters), reference
 * frame lines found (green) and missed (red) and lines found beyond the
 * reference (orange) (frame-line filters), the boxes and text of the
 * recognised lines (text filters) - and below it, per level, the decision
 * and each filter's score for every compared child. The picture is the same
 * bytes at every vector tier.
 * Codes: 0; -60 not loaded; -61 no path; -58 no classification since
 * recording was switched on; -17 the file cannot be written; -62 out of
 * memory. */
MORVANE_API int MORVANE_CALL MorvaneSetOverlayRecording(int on);
MORVANE_API int MORVANE_CALL MorvaneSaveOverlay(const MorvaneChar* path);

/* Starts every recognition engine that the text filters and sub-templates
 * of main template `index` name (-1: of every main template), so that a
 * batch can refuse to start when one is missing, corrupt or the wrong file.
 * 0 when all start; -9 for the first that does not, with
 * MorvaneGetLastErrorDetail naming the filter or sub-template, the engine
 * and its file. Not loaded: -60; an index never handed out: -61.
 * (Classifying also fails with -9 and that detail when a text filter's
 * engine cannot start, rather than taking a default branch.) */
MORVANE_API int MORVANE_CALL MorvaneCheckEngines(int index);

/* Where the resolution a page is measured with comes from (off by default).
 * With `on` set, a page read from a file (ClassifyImageFile, or
 * LoadLocalImage then Classify) for a main template without a
 * SetPixelResolution setting is measured with the density its file states,
 * when the file states one with an absolute unit (per inch, centimetre or
 * metre) and it lies from 75 to 1200 dots per inch in both directions;
 * exactly 72 or 96 counts as not stated (programs write them by default).
 * Otherwise, and with `on` clear, each size filter measures with its own
 * resolution as before. The order is thus: SetPixelResolution ("option"),
 * the file ("file"), the template ("template"). A setting of the process,
 * kept across LoadClassifier; returns 0. */
MORVANE_API int MORVANE_CALL MorvaneSetFileResolution(int on);

/* Resolution sources MorvaneGetPageResolution reports. */
enum { MORVANE_RESOLUTION_TEMPLATE = 0, MORVANE_RESOLUTION_FILE = 1, MORVANE_RESOLUTION_OPTION = 2 };

/* The resolution (dots per inch) the last classification measured the page
 * with, and its source (MORVANE_RESOLUTION_...). For the template source the
 * values are the first size filter's own on the walked path, 0 when none
 * ran. The decision trace shows the same as "resolution":{"x","y","source"}.
 * Not loaded: -60; a pointer null: -61; no classification yet: -58. */
MORVANE_API int MORVANE_CALL MorvaneGetPageResolution(int* horizontalDpi, int* verticalDpi, int* source);

/* How clearly the last classification was decided: at the deepest level of
 * the walk that chose its child by score, the chosen child's score (0 to
 * 1000 after thresholds and weights) and its margin over the best other
 * valid child there (the whole score when no other child scored). Both -1
 * when no level was decided by score (a default branch, the single-valid-ID
 * shortcut, a page that failed). The decision trace shows the same as
 * "decision":{"level","score","margin"} or null.
 * Not loaded: -60; a pointer null: -61; no classification yet: -58. */
MORVANE_API int MORVANE_CALL MorvaneGetDecisionMargin(int* score, int* margin);

/* Page orientation search (off by default). When on, a page whose walk
 * takes a default branch or finds no sub-template is classified again turned
 * clockwise by 90, 180 and 270 degrees, and the best turn is kept: a walk
 * decided by score at every level beats one that took a default branch, then
 * the deeper scored path wins, then the larger sum of the chosen children's
 * scores along it (the earlier turn among equals, 0 degrees first). Pages
 * that reach a sub-template by score at 0 degrees are not turned and cost
 * nothing more. A setting of the process, kept across LoadClassifier;
 * returns 0. */
MORVANE_API int MORVANE_CALL MorvaneSetOrientationSearch(int on);

/* The turn (0, 90, 180 or 270 degrees clockwise) the last classification
 * kept; always 0 when the search is off. Not loaded: -60; degrees null: -61;
 * no classification yet: -58. */
MORVANE_API int MORVANE_CALL MorvaneGetPageTurn(int* degrees);

/* The text lines recognised by the text filters while the last
 * classification walked to its answer, as one JSON object in UTF-16 with the
 * length protocol of GetTemplateName:
 *   {"page":{"width":W,"height":H},"turn":T,"lines":[{"text":"...",
 *    "x":X,"y":Y,"w":W,"h":H,"filter":F,"filterName":"...","level":L,
 *    "group":"...","template":"...","characters":N,"distance":D},...]}
 * For every level of the walk that chose a child by score, the lines its
 * text filters measured and compared with the chosen child; for a level that
 * took its default branch (a child no filter compares), the lines compared
 * with the first sibling that has any. Root level first, each measurement
 * once. The box (x, y, w, h) is in pixels of the page as handed in: measured
 * on the page after the main template's preprocessing, scaled to the page's
 * own size and turned back when the orientation search turned the page
 * (exact when the preprocessing only converts, binarises or rescales; a
 * chain that crops or straightens the page moves the boxes with it).
 * "filter" and "filterName" name the text filter, "level" and "group" the
 * level of the walk it ran at, "template" the sub-template the lines are kept
 * with, "characters" the recognised characters and "distance" the engine's
 * distance of the best candidates averaged over them (lower is closer; -1
 * when none). "lines" is empty when no text filter ran on the path or the
 * answer came from the single-valid-ID shortcut. The lines are gathered when
 * asked; classifying does no extra work for them.
 * Not loaded: -60. length null: -61. No classification since LoadClassifier:
 * -58 and *length = 0. */
MORVANE_API int MORVANE_CALL MorvaneGetRecognisedText(MorvaneChar* buffer, int* length);

/* The same lines one by one: their count, then the text of line `line`
 * (0-based; length protocol of GetTemplateName) and, when box is not null,
 * its box as four ints x, y, width, height. A line number out of range:
 * -61 and *length = 0. Not loaded: -60; count or length null: -61; no
 * classification yet: -58 (count and length 0). */
MORVANE_API int MORVANE_CALL MorvaneGetRecognisedLineCount(int* count);
MORVANE_API int MORVANE_CALL MorvaneGetRecognisedLine(int line, MorvaneChar* buffer, int* length, int* box);

/* Reads a travel document's machine-readable zone from text: `zone` holds
 * its lines separated by line feeds (carriage returns, spaces and tabs are
 * dropped, empty lines skipped; of more than three lines those with a '<'
 * filler are kept, then the last three when they are 30 characters long,
 * else the last two). The result is one JSON object in UTF-16 (length
 * protocol of GetTemplateName):
 *   {"layout":"TD1"|"TD2"|"TD3"|"MRV-A"|"MRV-B"|null,"valid":true|false,
 *    "errors":[...],"lines":[...], and when the zone has its layout's shape:
 *    "documentCode","issuingState","primaryName","secondaryName",
 *    "documentNumber":{"value","check","valid"},"nationality",
 *    "birthDate":{...},"sex","expiryDate":{...},
 *    "optionalData" (TD3: {"value","check","valid"}),
 *    "optionalData2" (TD1), "composite":{"check","valid"} (TD1, TD2, TD3)}
 * The layout is chosen by the line count and the longest line (nearest of
 * 30, 36 and 44 characters; a first line starting with 'V' is a visa). Check
 * digits use the weights 7, 3, 1 with '<' = 0 and A-Z = 10 to 35. Nothing is
 * corrected: a wrong check digit marks its field (and the composite) invalid,
 * a character outside A-Z, 0-9 and '<' is named in "errors", and a zone with
 * the wrong line count or line length reports the layout tried, invalid,
 * with the reason and no fields. "valid" is true only when the shape, every
 * character and every check digit are right. Dates are YYMMDD as printed;
 * names have their fillers turned into spaces.
 * Needs no loaded classifier. zone or length null, or zone longer than 65536
 * characters: -61. */
MORVANE_API int MORVANE_CALL MorvaneParseMrz(const MorvaneChar* zone, MorvaneChar* buffer, int* length);

/* The lines the text filters recognised in the last classification (those
 * MorvaneGetRecognisedLine gives, joined in their order) read as a
 * machine-readable zone, as MorvaneParseMrz reads text, and decoded with the
 * engine's ranked candidates of every character: a character outside its
 * position's class becomes its best candidate inside it, and a failing check
 * digit is mended by the cheapest change of at most two characters among
 * the top three candidates of the field's characters (and the built-in
 * look-alikes), made only when no other change of the same cost would do.
 * Same JSON object as MorvaneDecodeMrz ("decoded" with its "changes",
 * "rawValid"); length protocol of GetTemplateName. Not loaded: -60; length
 * null: -61; no classification yet: -58 (length 0). */
MORVANE_API int MORVANE_CALL MorvaneGetRecognisedZone(MorvaneChar* buffer, int* length);

/* Image files are recognised by their first bytes, whatever their name:
 * JPEG, JPEG-2000 codestreams and JP2 files, PNG, TIFF (every page), BMP and
 * GIF. Before anything is read a file must be a regular file, not on a
 * kernel pseudo file system (procfs, sysfs, ...), at most 256 MiB and not
 * mostly holes; truncated data fails to read in every format.
 *
 * The detail of the last failure of ClassifyImageFile, LoadLocalImage and
 * the functions below, in UTF-8 turned to UTF-16 with the length protocol of
 * GetTemplateName: the file and the cause, for example "scan.png: truncated
 * PNG data: 120 of 3508 rows", "a.jpg: no such file", "b.tif: page of 30000
 * x 30000 pixels over the page budget (...)". Empty (length 0) after a call
 * that succeeded. length null: -61. */
MORVANE_API int MORVANE_CALL MorvaneGetLastErrorDetail(MorvaneChar* buffer, int* length);

/* Pages in an image file: the pages of a multi-page TIFF or a PDF, 1 for
 * the other formats. Needs no loaded classifier. 0 with *count = number of pages; -16
 * when the file cannot be read (detail as above); -61 for a null argument. */
MORVANE_API int MORVANE_CALL MorvaneGetImagePageCount(const MorvaneChar* path, int* count);

/* MorvaneGetImagePageCount for an image file's bytes held in memory
 * (standard input, a host's buffer), bounded like MorvaneClassifyEncodedImage.
 * 0 with *count; -16 when the bytes cannot be read (detail "<memory>: ...");
 * -61 for a null argument or a size of 0 or below. */
MORVANE_API int MORVANE_CALL MorvaneGetEncodedImagePageCount(const unsigned char* data, long long size,
                                                             int* count);

/* PDF files are read page by page like multi-page TIFF files (the page
 * count, MorvaneClassifyImageFilePage, MorvaneClassifyEncodedImage). A page
 * whose content draws one image and nothing else (a scanned page; text
 * drawn invisibly over it is allowed) is that image, decoded from its own
 * data (DCT, CCITT fax, JPX, Flate and the other general filters), with the
 * resolution of its pixel size against its placed size on the page as the
 * file's stated resolution (MorvaneSetFileResolution). Any other page is
 * rendered at the PDF render resolution when the library was built with
 * Poppler, and refused with the cause "this build has no PDF renderer"
 * otherwise; a render bigger than the page budget is refused before it
 * starts. Encrypted PDFs are refused ("encrypted PDF"), damaged ones with
 * the parser's cause ("damaged PDF: ...").
 *
 * Sets the PDF render resolution in dots per inch: 50 to 1200, 0 for the
 * default 300. A setting of the process; the classifier need not be loaded.
 * Returns 0, or -61 for another value. */
MORVANE_API int MORVANE_CALL MorvaneSetPdfRenderResolution(int dpi);

/* ClassifyImageFile for page `page` of the file, counted from 0 (the first
 * page); ClassifyImageFile(path, index) is the same as page 0. A page beyond
 * the file's last fails with -16. page below 0 or path null or empty: -61. */
MORVANE_API int MORVANE_CALL MorvaneClassifyImageFilePage(const MorvaneChar* path, int page, int index);

/* The same for an image file's bytes held in memory (read from standard
 * input, received over a network): `size` bytes at `data`, bounded like a
 * file (at most 256 MiB: larger gives -16). The caller keeps the bytes.
 * data null, size 0 or below, or page below 0: -61. */
MORVANE_API int MORVANE_CALL MorvaneClassifyEncodedImage(const unsigned char* data, long long size, int page,
                                                         int index);

/* Reads a zone from text as MorvaneParseMrz does and decodes it with the
 * zone's own structure. The result is MorvaneParseMrz's object (the zone as
 * read, never changed) plus "rawValid" (the same as "valid") and "decoded":
 * the decoded zone, an object of the same members plus
 * "changes":[{"line","position","from","to","reason"}...] naming every
 * position the decoder changed (lines and positions 0-based; "reason"
 * "trim": a character beyond the layout's length cut from a line end, "to"
 * empty; "class": a character outside its position's class (digits only,
 * letters only, sex, filler) replaced by its look-alike; "check": the one
 * change among look-alikes (O/0, B/8, Z/2 or 7, S/5, I/1, G/6, ...) that
 * makes a failing check digit hold, made only when no other change of the
 * same cost would). Needs no loaded classifier. zone or length null, or zone
 * longer than 65536 characters: -61. */
MORVANE_API int MORVANE_CALL MorvaneDecodeMrz(const MorvaneChar* zone, MorvaneChar* buffer, int* length);

/* Classifier handles: independent classifiers beside the default instance
 * that the functions above use. Each has its own main templates, settings,
 * page, result, decision trace and failure detail; nothing one handle does
 * shows in another or in the default instance. A handle's calls are served
 * one after another (each handle has its own lock), and different handles
 * run at the same time on different threads: a host classifying pages on n
 * threads creates n handles. The default instance's lock does not cover
 * handles.
 *
 * Shared by every classifier: the recognition engines and their directory
 * (the working directory of the classifier loaded last), behind one
 * process-wide gate - the engine plug-ins are not safe to call from several
 * threads at once, and starting one switches the current directory - so
 * text filters of different handles take turns in the engines while the
 * rest of their work runs side by side; the page budget
 * (MorvaneSetPageBudget). A handle has no capture device.
 *
 * MorvaneClassifierCreate(directory, &handle) makes a loaded classifier
 * (LoadClassifier's directory; null or empty: the library's directory):
 * 0 with *handle set, -2 when the directory is not one (as LoadClassifier
 * fails without its device list), -61 for a null handle pointer (then
 * nothing is made), -62 out of memory. MorvaneClassifierDestroy frees it; the handle is then
 * invalid, and so is any value never returned by MorvaneClassifierCreate:
 * every function here answers MORVANE_ERR_INVALID_HANDLE (-56) for one
 * (handle values are never reused). A destroy while another thread's call
 * on the same handle runs waits for that call.
 *
 * The other functions do what the default instance's function of the same
 * name does (ClassifyImageFile, MorvaneGetDecisionTrace, ...), with the
 * same arguments after the handle and the same codes, except that the
 * settings apply to this handle alone, and that SetTemplateValid,
 * ResetAllTemplates and SetAttribute answer -61 for an index never handed
 * out. LoadLocalImage, Classify and the capture functions have no handle
 * form; SaveOverlay does. */
typedef struct MorvaneClassifier MorvaneClassifier;

MORVANE_API int MORVANE_CALL MorvaneClassifierCreate(const MorvaneChar* directory,
                                                     MorvaneClassifier** handle);
MORVANE_API int MORVANE_CALL MorvaneClassifierDestroy(MorvaneClassifier* handle);

MORVANE_API int MORVANE_CALL MorvaneClassifierAddMainTemplate(MorvaneClassifier* handle,
                                                              const MorvaneChar* path, int* index);
MORVANE_API int MORVANE_CALL MorvaneClassifierSetPixelResolution(MorvaneClassifier* handle, int horizontalDpi,
                                                                 int verticalDpi, int index);
MORVANE_API int MORVANE_CALL MorvaneClassifierSetTemplateValid(MorvaneClassifier* handle,
                                                               const MorvaneChar* templateId, int index);
MORVANE_API int MORVANE_CALL MorvaneClassifierResetAllTemplates(MorvaneClassifier* handle, int valid,
                                                                int index);
MORVANE_API int MORVANE_CALL MorvaneClassifierSetAttribute(MorvaneClassifier* handle, int attribute,
                                                           int value, int index);
MORVANE_API int MORVANE_CALL MorvaneClassifierSetDecodeResolution(MorvaneClassifier* handle, int dpi);
MORVANE_API int MORVANE_CALL MorvaneClassifierSetDecodeThreads(MorvaneClassifier* handle, int threads);
MORVANE_API int MORVANE_CALL MorvaneClassifierSetFileResolution(MorvaneClassifier* handle, int on);
MORVANE_API int MORVANE_CALL MorvaneClassifierSetOrientationSearch(MorvaneClassifier* handle, int on);
MORVANE_API int MORVANE_CALL MorvaneClassifierSetOverlayRecording(MorvaneClassifier* handle, int on);
MORVANE_API int MORVANE_CALL MorvaneClassifierSaveOverlay(MorvaneClassifier* handle, const MorvaneChar* path);
MORVANE_API int MORVANE_CALL MorvaneClassifierCheckEngines(MorvaneClassifier* handle, int index);

MORVANE_API int MORVANE_CALL MorvaneClassifierClassifyImageFile(MorvaneClassifier* handle,
                                                                const MorvaneChar* path, int index);
MORVANE_API int MORVANE_CALL MorvaneClassifierClassifyImageFilePage(MorvaneClassifier* handle,
                                                                    const MorvaneChar* path, int page,
                                                                    int index);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetImagePageCount(MorvaneClassifier* handle,
                                                                const MorvaneChar* path, int* count);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetEncodedImagePageCount(MorvaneClassifier* handle,
                                                                       const unsigned char* data,
                                                                       long long size, int* count);
MORVANE_API int MORVANE_CALL MorvaneClassifierClassifyImageMemory(MorvaneClassifier* handle,
                                                                  unsigned char** rows, int width, int height,
                                                                  int bitsPerPixel, int index);
MORVANE_API int MORVANE_CALL MorvaneClassifierClassifyEncodedImage(MorvaneClassifier* handle,
                                                                   const unsigned char* data, long long size,
                                                                   int page, int index);

MORVANE_API int MORVANE_CALL MorvaneClassifierGetTemplateName(MorvaneClassifier* handle, MorvaneChar* buffer,
                                                              int* length);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetTemplateID(MorvaneClassifier* handle, MorvaneChar* buffer,
                                                            int* length);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetTemplateOutputID(MorvaneClassifier* handle,
                                                                  MorvaneChar* buffer, int* length);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetLastErrorDetail(MorvaneClassifier* handle,
                                                                 MorvaneChar* buffer, int* length);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetDecisionMargin(MorvaneClassifier* handle, int* score,
                                                                int* margin);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetPageResolution(MorvaneClassifier* handle, int* horizontalDpi,
                                                                int* verticalDpi, int* source);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetPageTurn(MorvaneClassifier* handle, int* degrees);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetDecisionTrace(MorvaneClassifier* handle, MorvaneChar* buffer,
                                                               int* length);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetDecisionTraceText(MorvaneClassifier* handle,
                                                                   MorvaneChar* buffer, int* length);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetRecognisedText(MorvaneClassifier* handle,
                                                                MorvaneChar* buffer, int* length);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetRecognisedLineCount(MorvaneClassifier* handle, int* count);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetRecognisedLine(MorvaneClassifier* handle, int line,
                                                                MorvaneChar* buffer, int* length, int* box);
MORVANE_API int MORVANE_CALL MorvaneClassifierGetRecognisedZone(MorvaneClassifier* handle,
                                                                MorvaneChar* buffer, int* length);

#ifdef __cplusplus
}
#endif

#include "morvane/j2k.h"

#endif /* MORVANE_CLASSIFIER_H */
