#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace pdfe {

// Formats a number for PDF content: fixed point, at most four decimals, no exponent, always
// with "." whatever the process locale.
std::string Num(double value);

// A PDF string for text given as UTF-16: a literal (...) for printable ASCII, else hex
// UTF-16BE with a byte-order mark.
std::string TextString(const std::u16string &text);

// Writes a PDF file front to back: objects framed with their numbers, their offsets taken
// from the bytes written so far, and at the end the cross-reference table and trailer.
// Errors are sticky: once a write fails, ok() stays false and error() tells why (the
// system's reason, "No space left on device", "File too large", ...).
class PdfWriter
{
public:
    PdfWriter() = default;
    ~PdfWriter();
    PdfWriter(const PdfWriter &) = delete;
    PdfWriter &operator=(const PdfWriter &) = delete;

    bool open(const std::string &path);
    bool ok() const { return m_file && !m_failed; }
    const std::string &error() const { return m_error; }

    // Reserves an object number for an object written later.
    int reserveObject();
    void beginObject(int number);
    void endObject();
    // A whole stream object: dictionary entries (without << >> and /Length) and data.
    void streamObject(int number, std::string_view dictionaryEntries, const std::uint8_t *data, std::size_t size);

    void write(std::string_view bytes);
    void write(const std::uint8_t *data, std::size_t size);

    // The cross-reference table and trailer; every reserved object must have been written.
    void finish(int rootObject, int infoObject);
    // Flushes to disk and closes; false when anything failed on the way.
    bool close();

private:
    // Records errno's reason for the first failure.
    void fail();

    std::FILE *m_file = nullptr;
    bool m_failed = false;
    std::string m_error;
    std::uint64_t m_offset = 0;
    std::vector<std::uint64_t> m_offsets; // by object number; index 0 unused
};

} // namespace pdfe
