#pragma once

#include <QString>

// The browser as the capture code uses it. The real one is TChromium (chromium.h); tests may
// provide a scripted stand-in.
class IBrowser
{
public:
    virtual ~IBrowser() = default;

    // Whether the browser exists (created and not yet closed).
    virtual bool HasBrowser() const = 0;
    // URL of the document in the main frame; empty without a browser.
    virtual QString MainFrameUrl() const = 0;
    // Title of the document in the main frame; empty without a browser or a title (and in
    // stand-ins that have no documents).
    virtual QString Title() const { return {}; }
    // Queues code to run in the main frame, in the page's own script world. Console output of
    // the script arrives later as console messages. Does nothing without a browser.
    virtual void ExecuteJavaScript(const QString &code) = 0;
};
