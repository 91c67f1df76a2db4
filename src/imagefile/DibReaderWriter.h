// Image file readers and writers. Every image owns a CDibRWOri, which picks
// the codec by the last three characters of the path.
#pragma once
#include <cstdint>
#include <string>

class CRawImage;
class CDib;

class CDibReaderWriter {
public:
    virtual ~CDibReaderWriter() = default;
    virtual int Probe(const std::u16string& path) = 0;
    virtual int LoadFromMemory(CDib& image, const uint8_t* buffer, int32_t length, int32_t kind) = 0;
    virtual int Load(CDib& image, const std::u16string& path, int32_t flag) = 0;
    virtual int Save(const CDib& image, const std::u16string& path, uint32_t saveOption) = 0;
    virtual int GetInfo(const std::u16string& path, int32_t& width, int32_t& height, int32_t& bitCount,
                        int32_t& xResolution, int32_t& yResolution) = 0;
    virtual int LoadThumbnail(CDib& image, const std::u16string& path, int32_t maxWidth, int32_t maxHeight);
    virtual int GetFrameCount(const std::u16string& path);
};

class CDibRWOri : public CDibReaderWriter {
public:
    int Probe(const std::u16string& path) override;
    int LoadFromMemory(CDib& image, const uint8_t* buffer, int32_t length, int32_t kind) override;
    int Load(CDib& image, const std::u16string& path, int32_t flag) override;
    int Save(const CDib& image, const std::u16string& path, uint32_t saveOption) override;
    int GetInfo(const std::u16string& path, int32_t& width, int32_t& height, int32_t& bitCount,
                int32_t& xResolution, int32_t& yResolution) override;
    int LoadThumbnail(CDib& image, const std::u16string& path, int32_t maxWidth, int32_t maxHeight) override;
    int GetFrameCount(const std::u16string& path) override;
};
