// Makes small PDFs at test time from example pages, through qpdf: pages
// that hold one scanned image (JPEG by DCT, CCITT G4, Flate 1-bit rows) and
// pages drawn from rectangles that need rendering; optionally encrypted.
#pragma once
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "image/Dib.h"

namespace pdftest {

struct Page {
    double widthPt = 612, heightPt = 792;
    // An image page: the image stream, its dictionary entries (PDF syntax)
    // and its placement ("a b c d e f" of the cm before Do).
    bool hasImage = false;
    std::string imageData;
    std::string imageDict;
    std::string placement;
    // Drawn content (the whole content stream of a vector page, or drawing
    // added after the image).
    std::string drawing;
    // More entries of the page dictionary (PDF syntax).
    std::string pageEntries;
};

inline std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", v);
    return text;
}

// Placement that fills a page of the image's size at dpi.
inline void PlaceAtDpi(Page& page, int width, int height, double xDpi, double yDpi) {
    page.widthPt = width * 72.0 / xDpi;
    page.heightPt = height * 72.0 / yDpi;
    page.placement = Num(page.widthPt) + " 0 0 " + Num(page.heightPt) + " 0 0";
}

inline std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// A JPEG file's bytes as a DCT image of width x height with 1 or 3 components.
inline Page JpegPage(const std::string& jpeg, int width, int height, int components, double dpi) {
    Page p;
    p.hasImage = true;
    p.imageData = jpeg;
    p.imageDict = "/Width " + std::to_string(width) + " /Height " + std::to_string(height) +
                  " /BitsPerComponent 8 /ColorSpace " + (components == 1 ? "/DeviceGray" : "/DeviceRGB") +
                  " /Filter /DCTDecode";
    PlaceAtDpi(p, width, height, dpi, dpi);
    return p;
}

// The rows of a 1-bit image (set bits black) as PDF samples (0 black).
inline std::string PdfBits(const CDib& bilevel) {
    const int64_t rowBytes = (bilevel.width + 7) / 8;
    std::string rows;
    for (int32_t y = 0; y < bilevel.height; ++y)
        for (int64_t x = 0; x < rowBytes; ++x) rows.push_back(static_cast<char>(~bilevel.Row(y)[x]));
    return rows;
}

inline Page FlatePage(const CDib& bilevel, double dpi) {
    const std::string raw = PdfBits(bilevel);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 9);
    packed.resize(size);
    Page p;
    p.hasImage = true;
    p.imageData = packed;
    p.imageDict = "/Width " + std::to_string(bilevel.width) + " /Height " + std::to_string(bilevel.height) +
                  " /BitsPerComponent 1 /ColorSpace /DeviceGray /Filter /FlateDecode";
    PlaceAtDpi(p, bilevel.width, bilevel.height, dpi, dpi);
    return p;
}

// CCITT G4 data of a 1-bit image, coded by libtiff into a one-strip file.
inline std::string G4Data(const CDib& bilevel) {
    char name[] = "/tmp/morvane-g4-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return {};
    close(fd);
    std::string data;
    if (TIFF* out = TIFFOpen(name, "w")) {
        TIFFSetField(out, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(bilevel.width));
        TIFFSetField(out, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(bilevel.height));
        TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(bilevel.height));
        std::vector<uint8_t> line(static_cast<size_t>(bilevel.bytesPerRow));
        for (int32_t y = 0; y < bilevel.height; ++y) {
            std::memcpy(line.data(), bilevel.Row(y), line.size());
            TIFFWriteScanline(out, line.data(), static_cast<uint32_t>(y));
        }
        TIFFClose(out);
    }
    if (TIFF* in = TIFFOpen(name, "r")) {
        const tmsize_t size = TIFFRawStripSize(in, 0);
        if (size > 0) {
            data.resize(static_cast<size_t>(size));
            if (TIFFReadRawStrip(in, 0, &data[0], size) != size) data.clear();
        }
        TIFFClose(in);
    }
    std::remove(name);
    return data;
}

inline Page G4Page(const CDib& bilevel, double xDpi, double yDpi) {
    Page p;
    p.hasImage = true;
    p.imageData = G4Data(bilevel);
    p.imageDict =
        "/Width " + std::to_string(bilevel.width) + " /Height " + std::to_string(bilevel.height) +
        " /BitsPerComponent 1 /ColorSpace /DeviceGray /Filter /CCITTFaxDecode /DecodeParms << /K -1 "
        "/Columns " +
        std::to_string(bilevel.width) + " /Rows " + std::to_string(bilevel.height) + " >>";
    PlaceAtDpi(p, bilevel.width, bilevel.height, xDpi, yDpi);
    return p;
}

// The black areas of a 1-bit image redrawn as filled rectangles: runs of
// black in a row, merged down while the rows below repeat them.
inline Page VectorPage(const CDib& bilevel, double dpi) {
    Page p;
    p.widthPt = bilevel.width * 72.0 / dpi;
    p.heightPt = bilevel.height * 72.0 / dpi;
    const double s = 72.0 / dpi;
    std::map<std::pair<int, int>, int> open;  // run -> first row
    std::ostringstream content;
    content << "0 g\n";
    auto emit = [&](int x0, int x1, int y0, int y1) {
        content << Num(x0 * s) << ' ' << Num((bilevel.height - y1) * s) << ' ' << Num((x1 - x0) * s) << ' '
                << Num((y1 - y0) * s) << " re f\n";
    };
    for (int32_t y = 0; y <= bilevel.height; ++y) {
        std::map<std::pair<int, int>, int> runs;
        if (y < bilevel.height) {
            const uint8_t* row = bilevel.Row(y);
            int x = 0;
            while (x < bilevel.width) {
                while (x < bilevel.width && !(row[x / 8] & (0x80 >> (x % 8)))) ++x;
                const int start = x;
                while (x < bilevel.width && (row[x / 8] & (0x80 >> (x % 8)))) ++x;
                if (x > start) {
                    const auto key = std::make_pair(start, x);
                    const auto was = open.find(key);
                    runs[key] = was != open.end() ? was->second : y;
                }
            }
        }
        for (const auto& o : open)
            if (!runs.count(o.first)) emit(o.first.first, o.first.second, o.second, y);
        open = std::move(runs);
    }
    p.drawing = content.str();
    return p;
}

// The PDF of the pages; encrypted: with AES-256 and an empty user password
// (a file any reader opens without asking).
inline std::string MakePdf(const std::vector<Page>& pages, bool encrypted = false) {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFPageDocumentHelper doc(pdf);
    for (const Page& page : pages) {
        std::string content;
        QPDFObjectHandle resources = QPDFObjectHandle::parse("<< >>");
        if (page.hasImage) {
            QPDFObjectHandle image = QPDFObjectHandle::newStream(&pdf);
            image.replaceDict(
                QPDFObjectHandle::parse("<< /Type /XObject /Subtype /Image " + page.imageDict + " >>"));
            QPDFObjectHandle dict = image.getDict();
            QPDFObjectHandle filter = dict.getKey("/Filter");
            QPDFObjectHandle parms = dict.getKey("/DecodeParms");
            image.replaceStreamData(page.imageData, filter, parms);
            QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
            xobjects.replaceKey("/Im0", image);
            resources.replaceKey("/XObject", xobjects);
            content = "q " + page.placement + " cm /Im0 Do Q\n";
        }
        content += page.drawing;
        QPDFObjectHandle contents = QPDFObjectHandle::newStream(&pdf, content);
        QPDFObjectHandle pageDict =
            QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 " + Num(page.widthPt) + " " +
                                    Num(page.heightPt) + "] " + page.pageEntries + " >>");
        pageDict.replaceKey("/Resources", resources);
        pageDict.replaceKey("/Contents", contents);
        doc.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(pageDict)), false);
    }
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(false);
    if (encrypted)
        writer.setR6EncryptionParameters("", "owner", true, true, true, true, true, true, qpdf_r3p_full,
                                         true);
    writer.write();
    std::unique_ptr<Buffer> out(writer.getBuffer());
    return std::string(reinterpret_cast<const char*>(out->getBuffer()), out->getSize());
}

}  // namespace pdftest
