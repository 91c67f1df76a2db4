// XML document held in memory as UTF-16 text with a table of element
// positions and a cursor. Template readers find an element by name among the
// following siblings, enter and leave it, and read attributes and text.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace libMorvaneClassifier {

// A markup error met while parsing: its name (for example
// "unended_start_tag", "lone_end_tag") and where in the text it lies.
struct XmlParseError {
    const char* name;
    size_t offset;
};

class CXmlDocument {
public:
    CXmlDocument();
    ~CXmlDocument();
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    // Replaces the document by text (null = empty document), parses it and
    // resets the cursor. Returns whether the document is well-formed.
    bool ParseText(const char16_t* text);
    bool ParseText(const std::u16string& text);
    // Reads a file (encoding detection), then parses as ParseText. False when
    // the file cannot be read or is not a regular file (the document is then
    // empty), is larger than maxBytes (the template limit when not given), or
    // is not well-formed (the text stays in memory).
    bool Load(const std::u16string& path);
    bool Load(const std::u16string& path, size_t maxBytes);
    // Parses bytes as if they were the content of a file.
    bool LoadFromBytes(const uint8_t* data, size_t size);
    // Largest file Load and LoadFromBytes accept.
    static constexpr size_t kMaxFileBytes = size_t(64) << 20;
    // Writes the text in the loaded encoding (with a byte-order mark when the
    // loaded file had one); a document that was never loaded is written in
    // the encoding its XML declaration names, else UTF-8. Characters the
    // encoding cannot hold are written as character references.
    bool Save(const std::u16string& path) const;

    void ResetPosition();
    bool FindElement(const std::u16string& name);
    // Like FindElement, for the next element whatever its name.
    bool FindNextElement();
    bool EnterElement();
    bool LeaveElement();
    std::u16string ReadAttribute(const std::u16string& name) const;
    // The attribute converted as the C library's decimal conversion does
    // (absent or non-numeric = 0, trailing garbage ignored).
    int32_t ReadIntAttribute(const std::u16string& name) const;
    std::u16string ReadText() const;
    // Tag name of the main element (empty when there is none).
    std::u16string ElementName() const;

    // Inserts an empty element after the main element (or, without one,
    // after the last element of the current level) and makes it the main
    // element. False for an empty name or one holding markup characters,
    // and for a second top-level element.
    bool AppendElement(const std::u16string& name);
    // Sets or replaces an attribute of the main element; the value is
    // escaped. False without a main element.
    bool WriteAttribute(const std::u16string& name, const std::u16string& value);
    bool WriteAttribute(const std::u16string& name, int32_t value);
    // Replaces the content of the main element (children included) by the
    // escaped text.
    bool WriteText(const std::u16string& text);
    // Removes the main element with its content (and, when it stands on a
    // line of its own, that line). The cursor is then before the element
    // that followed it at the same level. False without a main element.
    bool RemoveElement();

    const std::u16string& Text() const;
    bool IsWellFormed() const;
    // Markup errors of the last parse (the first ones, at most a few
    // thousand; IsWellFormed() is false when there was any).
    const std::vector<XmlParseError>& ParseErrors() const;
    // Encoding the document was read in ("UTF-8", "UTF-16LE", "UTF-16BE", a
    // declared name, or empty for the ANSI code page) and whether it had a
    // byte-order mark.
    const std::u16string& Encoding() const;
    bool HadByteOrderMark() const;

    // The line (1-based) of a text offset, and of the main element's start
    // tag (0 when there is no main element).
    size_t LineOf(size_t offset) const;
    size_t ElementLine() const;
    // Why the last Load or parse failed, in words, with the line of the first
    // markup error ("" when it did not fail).
    std::string FailureReason() const;

    // Decimal conversion used for every integer attribute.
    static int32_t ParseInt(const std::u16string& text);

private:
    bool Decode(const uint8_t* data, size_t size);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Loads an XML file into document (CXmlDocument::Load): the one way the
// readers of template, filter and device files open their files.
bool LoadXmlFile(const std::u16string& path, CXmlDocument& document);

// Why the last template could not be read, for the host: readers note the
// first problem they meet (the file, the line and the element or attribute
// when known, UTF-8, file names as their bytes); LoadXmlFile notes files it
// cannot read or parse. TakeTemplateProblem returns the note and clears it.
void NoteTemplateProblem(const std::string& utf8);
void NoteTemplateProblemAt(const CXmlDocument& document, const std::u16string& path, const std::string& what);
std::string TakeTemplateProblem();

}  // namespace libMorvaneClassifier
