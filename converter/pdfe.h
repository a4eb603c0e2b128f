/* The PDF engine library "converter": C entry points, records and codes.
 *
 * A client creates an instance with PDFE_Initialize, sets properties, begins a document
 * (action PDFE_BEGINDOC with the output path), adds pages (PDFE_InitializePage then
 * PDFE_STARTPAGE, PDFE_DRAWBITMAP, PDFE_ENDPAGE), completes, writes and closes the document
 * (PDFE_ENDDOC, PDFE_WRITEDOC, PDFE_CLOSEDOC) and ends the instance with PDFE_Finalize.
 *
 * The document is written to a file beside the output path as it grows (each page's image
 * as soon as it is drawn) and renamed onto the output path by PDFE_WRITEDOC, so a document
 * that is never completed leaves no file behind and an earlier file at the path intact.
 *
 * Ownership: every pointer passed in stays the caller's and is only read during the call;
 * the library keeps copies of texts. No C++ exception leaves an entry point.
 */
#ifndef QUILLMOOR_PDFE_H
#define QUILLMOOR_PDFE_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define PDFE_API __declspec(dllexport)
#define PDFE_CALL __stdcall
#else
#define PDFE_API __attribute__((visibility("default")))
#define PDFE_CALL
#endif

/* Actions of PDFE_Action. */
enum {
    PDFE_BEGINDOC = 4533,   /* pointer: output path, zero-terminated UTF-8; result 0 = ok */
    PDFE_ENDDOC = 4534,     /* complete the document */
    PDFE_STARTPAGE = 4535,  /* open the page set up by PDFE_InitializePage */
    PDFE_ENDPAGE = 4536,    /* close the page */
    PDFE_WRITEDOC = 4538,   /* pointer: output path; put the completed file in place */
    PDFE_CLOSEDOC = 4539,   /* close the document */
    PDFE_DRAWBITMAP = 4549, /* pointer: TPDFE_DrawRec */
    PDFE_DRAWIMAGE = 4550   /* pointer: TPDFE_DrawRec whose bitmap is a PDFE_EncodeImage result */
};

/* Integer properties (PDFE_SetIProp). */
enum {
    PDFE_IP_ENCODING = 1, PDFE_IP_COMPRESSION = 2, PDFE_IP_PAGEMODE = 3, PDFE_IP_FONTMODE = 4,
    PDFE_IP_INTERNAL = 6, PDFE_IP_ENCRYPTION = 7, PDFE_IP_INPUTFILEMODE = 8, PDFE_IP_READMODE = 9,
    PDFE_IP_10 = 10, PDFE_IP_JPEGQUALITY = 12, PDFE_IP_ZOOMMODE = 14, PDFE_IP_SECURITY = 15,
    PDFE_IP_EXTRAMESSAGES = 21, PDFE_IP_THUMBNAILS = 25, PDFE_IP_DEVICEMODES = 26, PDFE_IP_OPTIONS = 27
};

/* Text properties (PDFE_SetSProp), zero-terminated UTF-16. */
enum {
    PDFE_SP_AUTHOR = 1, PDFE_SP_CREATIONDATE = 2, PDFE_SP_MODDATE = 3, PDFE_SP_PRODUCER = 4,
    PDFE_SP_TITLE = 5, PDFE_SP_SUBJECT = 6, PDFE_SP_KEYWORDS = 7, PDFE_SP_NOEMBEDFONTS = 9,
    PDFE_SP_OWNERPASSWORD = 10, PDFE_SP_USERPASSWORD = 11, PDFE_SP_INPUTFILE = 12, PDFE_SP_MERGESTART = 14
};

#pragma pack(push, 1)
/* A page: pagew x pageh pixels at xres x yres pixels per inch (0 means 72). */
typedef struct TPDFE_InitRec {
    int32_t pagew;
    int32_t pageh;
    int32_t xres;
    int32_t yres;
    int32_t rotation;
    uint32_t specialcolor;
    int32_t left_offset;
    int32_t top_offset;
    uint8_t thumbnails;
    uint32_t fontmul;
} TPDFE_InitRec;

/* Draws a bitmap at x, y with size w x h in the page's pixel units. */
typedef struct TPDFE_DrawRec {
    int32_t x;
    int32_t y;
    int32_t w;
    int32_t h;
    int32_t imagenumber;   /* written by the library */
    uint64_t bitmap;       /* a const PDFE_Bitmap *, pointer-sized */
    uint8_t reserved[32];
} TPDFE_DrawRec;
#pragma pack(pop)

/* Pixel formats of PDFE_Bitmap, rows top to bottom. The first four hold 8 bits per sample.
 * The packed ones hold 1, 2, 4 or 8 bits per pixel, the leftmost pixel in the most significant
 * bits and every row starting on a byte: gray samples from black (0) to white (the largest
 * value), or indices into the bitmap's palette. They go into the PDF at their own depth. */
enum {
    PDFE_GRAY8 = 1,
    PDFE_GRAYA8 = 2,
    PDFE_RGB8 = 3,
    PDFE_RGBA8 = 4,
    PDFE_GRAY1 = 5,
    PDFE_GRAY2 = 6,
    PDFE_GRAY4 = 7,
    PDFE_INDEXED1 = 8,
    PDFE_INDEXED2 = 9,
    PDFE_INDEXED4 = 10,
    PDFE_INDEXED8 = 11
};

/* A bitmap. With jpeg set (a baseline or progressive JPEG file of 1, 3 or 4 components whose
 * pixels are width x height, of any number of pixels), the file's bytes are embedded as they
 * are and pixels may be null. jpegAdobeInverted is 1 for a 4-component JPEG with an Adobe marker, whose CMYK
 * samples are stored inverted.
 * The fields after jpegAdobeInverted were added later; left zero, each changes nothing:
 * - palette: for the PDFE_INDEXEDn formats, paletteCount (1 to 256) entries of red, green and
 *   blue, 3 bytes each. Indices past the last entry show black.
 * - paletteAlpha: null when every entry is opaque, else paletteCount opacities (0 transparent
 *   to 255 opaque), one per entry.
 * - grayKeyed, grayKey: for PDFE_GRAY1/2/4, with grayKeyed 1 the pixels of sample value
 *   grayKey are transparent, the others opaque.
 * - orientation: how the image is to be shown, as an EXIF orientation says (1 as stored, 2
 *   mirrored left to right, 3 turned half round, 4 mirrored top to bottom, 5 mirrored along
 *   the diagonal from the top left, 6 turned a quarter clockwise, 7 mirrored along the other
 *   diagonal, 8 turned a quarter anticlockwise; 0 and other values as 1). The image is drawn
 *   so turned into the box a draw record gives, which is then the size of the image as shown
 *   (height x width for 5 to 8). The image's samples stay as they are.
 * - iccProfile: an ICC colour profile (iccProfileSize bytes) of the bitmap's colours: a JPEG's
 *   components, the gray or RGB samples of the 8-bit formats, the gray of PDFE_GRAY1/2/4, the
 *   RGB entries of a palette. It becomes the image's colour space (a palette's base) when it
 *   is a whole profile for that many components: its header, and its tag table inside it;
 *   else it is ignored. Images that share a profile share one copy of it in the file.
 * - jpegStoredRgb: 1 for a 3-component JPEG whose samples are R, G and B as they are, not
 *   YCbCr (libjpeg reads them so when the components are named R, G, B, or an Adobe marker
 *   says there is no transform); readers that would take them for YCbCr are told not to. */
typedef struct PDFE_Bitmap {
    int32_t width;
    int32_t height;
    int32_t bytesPerRow;
    int32_t format;
    const uint8_t *pixels;
    const uint8_t *jpeg;
    size_t jpegSize;
    int32_t jpegComponents;
    int32_t jpegAdobeInverted;
    const uint8_t *palette;
    int32_t paletteCount;
    const uint8_t *paletteAlpha;
    int32_t grayKeyed;
    int32_t grayKey;
    int32_t orientation;
    const uint8_t *iccProfile;
    size_t iccProfileSize;
    int32_t jpegStoredRgb;
} PDFE_Bitmap;

/* A word of a page's text layer: its box x, y, w x h in the page's pixel units (like a
 * TPDFE_DrawRec, top left origin) and its text, zero-terminated UTF-8. */
typedef struct PDFE_TextWord {
    int32_t x;
    int32_t y;
    int32_t w;
    int32_t h;
    const char *utf8;
} PDFE_TextWord;

/* Receives the library's messages (errors among them). */
typedef void(PDFE_CALL *PDFE_MessageCallback)(void *context, int32_t code, const char *message);

PDFE_API void *PDFE_CALL PDFE_Initialize(int32_t a, int32_t b, int32_t c, int32_t d,
                                         PDFE_MessageCallback callback, void *context);
PDFE_API void PDFE_CALL PDFE_SetIProp(void *instance, int32_t property, int32_t value);
PDFE_API void PDFE_CALL PDFE_SetSProp(void *instance, int32_t property, const char16_t *text);
PDFE_API int32_t PDFE_CALL PDFE_Action(void *instance, int32_t action, int32_t value, void *pointer);
PDFE_API void PDFE_CALL PDFE_InitializePage(void *instance, int32_t zero, const TPDFE_InitRec *page);
PDFE_API void PDFE_CALL PDFE_Finalize(void *instance);
/* Encodes a bitmap into a PDF image ahead of the page it goes on, so that several pages can
 * be compressed at once: any thread, several calls at a time, no instance needed. Returns
 * null on failure with the reason in error (at most errorSize bytes, zero-terminated). The
 * result is placed with action PDFE_DRAWIMAGE (any number of times) and released with
 * PDFE_FreeImage by the caller. */
PDFE_API void *PDFE_CALL PDFE_EncodeImage(const PDFE_Bitmap *bitmap, char *error, size_t errorSize);
PDFE_API void PDFE_CALL PDFE_FreeImage(void *image);
/* Puts count words on the open page as invisible text, so readers can search, select and
 * copy it; call after drawing the page's image. Words come in reading order: words that
 * follow each other rightwards at the same height are set as one line, with a space
 * between them. Boxes are cut to the page; words without text or with nothing left of their
 * box are left out. Bytes that are not well-formed UTF-8 become U+FFFD, one for each byte.
 * The words and their texts stay the caller's and are only read during the call. Returns 0, or -1 when no page
 * is open. */
PDFE_API int32_t PDFE_CALL PDFE_DrawText(void *instance, const PDFE_TextWord *words, int32_t count);
/* Present for clients that look them up; they do nothing and return -1. */
PDFE_API int32_t PDFE_CALL PDFE_ProcessPDF(void *instance, int32_t value, void *pointer);
PDFE_API int32_t PDFE_CALL _PDFE_EXEC(void *instance, int32_t value, void *pointer);

#ifdef __cplusplus
}
static_assert(sizeof(TPDFE_InitRec) == 37, "page record is 37 bytes");
static_assert(sizeof(TPDFE_DrawRec) == 60, "draw record is 60 bytes");
static_assert(offsetof(TPDFE_DrawRec, bitmap) == 20, "bitmap handle at offset 20");
#endif

#endif
