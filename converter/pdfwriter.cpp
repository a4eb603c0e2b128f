#include "pdfwriter.h"

#include <charconv>
#include <cerrno>
#include <cmath>
#include <system_error>
#include <unistd.h>

namespace pdfe {

std::string Num(double value)
{
    if (!std::isfinite(value))
        value = 0;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
    std::string text(buffer, result.ptr);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    if (text == "-0")
        text = "0";
    return text;
}

std::string TextString(const std::u16string &text)
{
    bool plain = true;
    for (char16_t c : text)
        plain = plain && c >= 0x20 && c < 0x7f;
    if (plain) {
        std::string out = "(";
        for (char16_t c : text) {
            if (c == '(' || c == ')' || c == '\\')
                out += '\\';
            out += char(c);
        }
        return out + ")";
    }
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "<FEFF";
    for (char16_t c : text) {
        for (int shift = 12; shift >= 0; shift -= 4)
            out += hex[(c >> shift) & 0xF];
    }
    return out + ">";
}

PdfWriter::~PdfWriter()
{
    if (m_file)
        std::fclose(m_file);
}

void PdfWriter::fail()
{
    if (!m_failed)
        m_error = std::error_code(errno, std::generic_category()).message();
    m_failed = true;
}

bool PdfWriter::open(const std::string &path)
{
    m_failed = false;
    m_error.clear();
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) {
        fail();
        return false;
    }
    std::setvbuf(m_file, nullptr, _IOFBF, 1 << 20);
    m_offsets.assign(1, 0);
    write("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
    return ok();
}

int PdfWriter::reserveObject()
{
    m_offsets.push_back(0);
    return int(m_offsets.size() - 1);
}

void PdfWriter::beginObject(int number)
{
    m_offsets.at(std::size_t(number)) = m_offset;
    write(std::to_string(number) + " 0 obj\n");
}

void PdfWriter::endObject()
{
    write("\nendobj\n");
}

void PdfWriter::streamObject(int number, std::string_view dictionaryEntries, const std::uint8_t *data, std::size_t size)
{
    beginObject(number);
    write("<<");
    write(dictionaryEntries);
    write("/Length " + std::to_string(size) + ">>\nstream\n");
    write(data, size);
    write("\nendstream");
    endObject();
}

void PdfWriter::write(std::string_view bytes)
{
    write(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
}

void PdfWriter::write(const std::uint8_t *data, std::size_t size)
{
    if (!m_file || m_failed || size == 0)
        return;
    if (std::fwrite(data, 1, size, m_file) != size)
        fail();
    m_offset += size;
}

void PdfWriter::finish(int rootObject, int infoObject)
{
    const std::uint64_t xref = m_offset;
    write("xref\n0 " + std::to_string(m_offsets.size()) + "\n0000000000 65535 f \n");
    char entry[32];
    for (std::size_t i = 1; i < m_offsets.size(); ++i) {
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(m_offsets[i]));
        write(std::string_view(entry, 20));
    }
    write("trailer\n<</Size " + std::to_string(m_offsets.size()) + "/Root " + std::to_string(rootObject) + " 0 R/Info "
          + std::to_string(infoObject) + " 0 R>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
}

bool PdfWriter::close()
{
    if (!m_file)
        return false;
    if (!m_failed && (std::fflush(m_file) != 0 || ::fsync(fileno(m_file)) != 0))
        fail();
    if (std::fclose(m_file) != 0)
        fail();
    m_file = nullptr;
    return !m_failed;
}

} // namespace pdfe
