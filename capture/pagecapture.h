#pragma once

#include "capturedpage.h"
#include "sitewaitpolicy.h"

#include <QString>
#include <functional>

class IBrowser;
class TScriptRunner;
class TvBookobj;
struct PageReport;

// How a page process that did not answer a capture in time is told (PageFailure::reason).
inline const QString HungProcess = QStringLiteral("stopped answering");

// What one capture of the page on display came to.
struct CaptureResult
{
    bool stored = false;
    int page = 0;          // the page stored, as the viewer numbers it
    CapturedPage capture;  // how it came, or why its image is no page
    PageFailure failure;   // why nothing was stored
    QString error;         // the page could not be written: the run cannot go on
};

// One capture of the page on display: the page script reports the page's image (or, for an
// image of another origin it may not read, its address, which the browser then downloads), and
// a usable image is stored as the book's page file.
class PageCapture
{
public:
    using Done = std::function<void(const CaptureResult &)>;
    // Asked when the report has come: whether it may still be stored in this book.
    using StillWanted = std::function<bool()>;

    PageCapture(IBrowser &browser, TScriptRunner &scripts, const QString &pageScript);

    // Runs the page script; done follows from the event loop once its report, its end or its
    // deadline has come. askSite: when the image failed, the page script asks the site why
    // (false once the site has said). lastPage: the highest page number the book has (0: not
    // known); a report of another number is no page of this book.
    void Capture(TvBookobj &book, bool askSite, int timeoutMs, int lastPage, StillWanted stillWanted, Done done);

private:
    struct Request
    {
        TvBookobj *book = nullptr;
        QString dirid;   // the book the capture is for
        int lastPage = 0;
        int timeoutMs = 0;
        StillWanted stillWanted;
        Done done;
    };
    void fetch(const Request &request, PageReport report);
    void store(const Request &request, const PageReport &report, CaptureResult &result);

    IBrowser &m_browser;
    TScriptRunner &m_scripts;
    const QString &m_pageScript;
};
