#include "engine.h"

#include "imageencode.h"

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace pdfe {

namespace {
constexpr const char *OwnProducer = "Quillmoor Downloader PDF engine 1.0";
}

Engine::Engine(PDFE_MessageCallback callback, void *context) : m_callback(callback), m_context(context)
{
}

Engine::~Engine()
{
    discard();
}

void Engine::message(int code, const std::string &text) const
{
    message(code, text.c_str());
}

void Engine::message(int code, const char *text) const noexcept
{
    if (m_callback)
        m_callback(m_context, code, text);
}

int Engine::writeStatus()
{
    if (m_writer.ok())
        return 0;
    message(-2, "cannot write " + m_outputPath + ": " + m_writer.error());
    return -2;
}

void Engine::setInteger(int property, int value)
{
    m_integers[property] = value;
}

void Engine::setText(int property, const char16_t *text)
{
    std::u16string value;
    if (text)
        value = text;
    m_texts[property] = value;
}

void Engine::initializePage(const TPDFE_InitRec &page)
{
    m_page = page;
}

int Engine::action(int code, void *pointer)
{
    switch (code) {
    case PDFE_BEGINDOC: return beginDoc(static_cast<const char *>(pointer));
    case PDFE_STARTPAGE: return startPage();
    case PDFE_DRAWBITMAP: return drawBitmap(static_cast<TPDFE_DrawRec *>(pointer));
    case PDFE_DRAWIMAGE: return drawImage(static_cast<TPDFE_DrawRec *>(pointer));
    case PDFE_ENDPAGE: return endPage();
    case PDFE_ENDDOC: return endDoc();
    case PDFE_WRITEDOC: return writeDoc(static_cast<const char *>(pointer));
    case PDFE_CLOSEDOC: return closeDoc();
    default:
        message(-1, "unknown action " + std::to_string(code));
        return -1;
    }
}

int Engine::beginDoc(const char *path)
{
    if (m_docOpen || !path || !*path)
        return -1;
    // Written beside the output and renamed into place when complete.
    m_outputPath = path;
    m_tempPath = m_outputPath + ".part" + std::to_string(::getpid());
    if (!m_writer.open(m_tempPath)) {
        message(-2, "cannot create " + m_outputPath + ": " + m_writer.error());
        m_tempPath.clear();
        return -2;
    }
    m_docOpen = true;
    m_catalog = m_writer.reserveObject();
    m_pages = m_writer.reserveObject();
    m_info = m_writer.reserveObject();
    m_writer.beginObject(m_catalog);
    m_writer.write("<</Type/Catalog/Pages " + std::to_string(m_pages) + " 0 R>>");
    m_writer.endObject();

    std::string info = "<<";
    auto text = [&](int property, const char *key) {
        const auto it = m_texts.find(property);
        if (it != m_texts.end() && !it->second.empty())
            info += std::string("/") + key + TextString(it->second);
    };
    text(PDFE_SP_TITLE, "Title");
    text(PDFE_SP_AUTHOR, "Author");
    text(PDFE_SP_SUBJECT, "Subject");
    text(PDFE_SP_KEYWORDS, "Keywords");
    text(PDFE_SP_CREATIONDATE, "CreationDate");
    text(PDFE_SP_MODDATE, "ModDate");
    const auto producer = m_texts.find(PDFE_SP_PRODUCER);
    if (producer != m_texts.end() && !producer->second.empty())
        info += "/Producer" + TextString(producer->second);
    else
        info += std::string("/Producer(") + OwnProducer + ")";
    m_writer.beginObject(m_info);
    m_writer.write(info + ">>");
    m_writer.endObject();
    return writeStatus();
}

double Engine::scaleX() const
{
    return 72.0 / (m_page.xres > 0 ? m_page.xres : 72);
}

double Engine::scaleY() const
{
    return 72.0 / (m_page.yres > 0 ? m_page.yres : 72);
}

int Engine::startPage()
{
    if (!m_docOpen || m_completed)
        return -1;
    if (m_pageOpen)
        endPage();
    m_pageOpen = true;
    m_pageContent.clear();
    m_pageResources.clear();
    m_pageHasText = false;
    return 0;
}

int Engine::drawBitmap(TPDFE_DrawRec *record)
{
    if (!m_pageOpen || !record || !record->bitmap)
        return -1;
    const auto *bitmap = reinterpret_cast<const PDFE_Bitmap *>(static_cast<std::uintptr_t>(record->bitmap));
    const EncodedImage image = EncodeBitmap(*bitmap);
    return placeImage(image, record);
}

int Engine::drawImage(TPDFE_DrawRec *record)
{
    if (!m_pageOpen || !record || !record->bitmap)
        return -1;
    const auto *image = reinterpret_cast<const EncodedImage *>(static_cast<std::uintptr_t>(record->bitmap));
    return placeImage(*image, record);
}

int Engine::iccProfileObject(const EncodedImage &image)
{
    // Pages of one book mostly share their profile: it is written once. Only its hash is
    // kept, so a book whose every page has a large profile of its own holds none of them.
    const auto found = m_iccProfiles.find(image.iccHash);
    if (found != m_iccProfiles.end())
        return found->second;
    const int object = m_writer.reserveObject();
    m_writer.streamObject(object, "/N " + std::to_string(image.iccComponents) + "/Alternate" + image.colourSpace,
                          image.iccProfile.data(), image.iccProfile.size());
    m_iccProfiles.emplace(image.iccHash, object);
    return object;
}

int Engine::placeImage(const EncodedImage &image, TPDFE_DrawRec *record)
{
    const std::string base = image.iccProfile.empty() ? image.colourSpace
                                                      : "[/ICCBased " + std::to_string(iccProfileObject(image)) + " 0 R]";
    std::string dictionary = image.dictionary + image.colourSpaceEntry(base);
    if (image.softMask) {
        const EncodedImage &softMask = *image.softMask;
        const int mask = m_writer.reserveObject();
        m_writer.streamObject(mask, softMask.dictionary + softMask.colourSpaceEntry(softMask.colourSpace), softMask.data.data(),
                              softMask.data.size());
        dictionary += "/SMask " + std::to_string(mask) + " 0 R";
    }
    const int object = m_writer.reserveObject();
    m_writer.streamObject(object, dictionary, image.data.data(), image.data.size());

    const int number = ++m_imageCount;
    const std::string name = "Im" + std::to_string(number);
    m_pageResources += "/" + name + " " + std::to_string(object) + " 0 R";
    // Pixel units from the top left corner; PDF space grows upward from the bottom left.
    const double pageHeight = m_page.pageh * scaleY();
    const double w = record->w * scaleX(), h = record->h * scaleY();
    const double x = record->x * scaleX(), y = pageHeight - record->y * scaleY() - h;
    // The image's unit square onto the box, turned and mirrored as the image is shown: its
    // top row at the box's top, its right edge at the box's left (mirrored), at the box's
    // right (turned a quarter clockwise), and so on. Its samples stay as they are.
    double m[6];
    switch (image.orientation) {
    case 2: m[0] = -w, m[1] = 0, m[2] = 0, m[3] = h, m[4] = x + w, m[5] = y; break;
    case 3: m[0] = -w, m[1] = 0, m[2] = 0, m[3] = -h, m[4] = x + w, m[5] = y + h; break;
    case 4: m[0] = w, m[1] = 0, m[2] = 0, m[3] = -h, m[4] = x, m[5] = y + h; break;
    case 5: m[0] = 0, m[1] = -h, m[2] = -w, m[3] = 0, m[4] = x + w, m[5] = y + h; break;
    case 6: m[0] = 0, m[1] = -h, m[2] = w, m[3] = 0, m[4] = x, m[5] = y + h; break;
    case 7: m[0] = 0, m[1] = h, m[2] = w, m[3] = 0, m[4] = x, m[5] = y; break;
    case 8: m[0] = 0, m[1] = h, m[2] = -w, m[3] = 0, m[4] = x + w, m[5] = y; break;
    default: m[0] = w, m[1] = 0, m[2] = 0, m[3] = h, m[4] = x, m[5] = y; break;
    }
    m_pageContent += "q";
    for (double v : m)
        m_pageContent += ' ' + Num(v);
    m_pageContent += " cm /" + name + " Do Q\n";
    record->imagenumber = number;
    return writeStatus();
}

int Engine::drawText(const PDFE_TextWord *words, int count)
{
    if (!m_pageOpen || count < 0 || (count > 0 && !words))
        return -1;
    const std::string text = m_textLayer.pageContent(m_writer, words, count, m_page.pagew, m_page.pageh, scaleX(), scaleY());
    m_pageContent += text;
    m_pageHasText = m_pageHasText || !text.empty();
    return 0;
}

int Engine::endPage()
{
    if (!m_pageOpen)
        return -1;
    m_pageOpen = false;
    const int content = m_writer.reserveObject();
    m_writer.streamObject(content, "", reinterpret_cast<const std::uint8_t *>(m_pageContent.data()), m_pageContent.size());
    const int page = m_writer.reserveObject();
    m_writer.beginObject(page);
    std::string dict = "<</Type/Page/Parent " + std::to_string(m_pages) + " 0 R/MediaBox[0 0 "
                       + Num(m_page.pagew * scaleX()) + " " + Num(m_page.pageh * scaleY()) + "]/Resources<<";
    if (!m_pageResources.empty())
        dict += "/XObject<<" + m_pageResources + ">>";
    if (m_pageHasText)
        dict += m_textLayer.fontResource();
    dict += ">>/Contents " + std::to_string(content) + " 0 R";
    if (m_page.rotation % 360 != 0)
        dict += "/Rotate " + std::to_string(((m_page.rotation % 360) + 360) % 360 / 90 * 90);
    m_writer.write(dict + ">>");
    m_writer.endObject();
    m_pageObjects.push_back(page);
    return writeStatus();
}

int Engine::endDoc()
{
    if (!m_docOpen || m_completed)
        return -1;
    if (m_pageOpen)
        endPage();
    std::string kids;
    for (int page : m_pageObjects)
        kids += std::to_string(page) + " 0 R ";
    m_textLayer.finish(m_writer);
    m_writer.beginObject(m_pages);
    m_writer.write("<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(m_pageObjects.size()) + ">>");
    m_writer.endObject();
    m_writer.finish(m_catalog, m_info);
    m_completed = true;
    return writeStatus();
}

int Engine::writeDoc(const char *path)
{
    if (!m_completed || m_written || !path)
        return -1;
    if (!m_writer.close()) {
        message(-2, "cannot write " + m_outputPath + ": " + m_writer.error());
        discard();
        return -2;
    }
    if (std::rename(m_tempPath.c_str(), path) != 0) {
        const int error = errno;
        message(-2, std::string("cannot replace ") + path + ": " + std::error_code(error, std::generic_category()).message());
        discard();
        return -2;
    }
    m_tempPath.clear();
    m_written = true;
    return 0;
}

int Engine::closeDoc()
{
    discard();
    return 0;
}

void Engine::discard()
{
    m_writer.close();
    if (!m_tempPath.empty())
        std::remove(m_tempPath.c_str());
    m_tempPath.clear();
    m_docOpen = false;
    m_pageOpen = false;
}

} // namespace pdfe
