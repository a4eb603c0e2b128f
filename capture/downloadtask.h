#pragma once

#include <QString>

class IBrowser;
class TvBookobj;

// States of a download run, advanced by one tick a second.
enum TaskStates : int {
    TaskCapture = 10,   // tick 1: capture the page on display; tick 2: turn the page
    TaskPageWait = 20,  // wait for the viewer to show the next page
    TaskBuild = 90,     // build the PDF and end the run
};

// What the run needs of the window.
class DownloadTaskHost
{
public:
    virtual ~DownloadTaskHost() = default;
    virtual void ShowTickCount(int tickCount) = 0;
    virtual void EndRun() = 0;            // setWorking(false)
    virtual void OpenOutputFolder() = 0;
};

// The state machine of a download run. Taskhandle is one tick; the window's timer calls it.
class TDownloadTask
{
public:
    TDownloadTask(IBrowser &browser, TvBookobj &book, const QString &pageScript, DownloadTaskHost &host);

    // A run starts: nothing is stored in it yet.
    void Begin();
    void Taskhandle();

    // Whether this run has stored a page: the end of the book is only recognised then.
    bool storedInRun() const { return m_storedInRun; }

private:
    void captureTick();
    void pageWaitTick();
    void buildTick();

    IBrowser &m_browser;
    TvBookobj &m_book;
    const QString &m_pageScript;
    DownloadTaskHost &m_host;
    bool m_storedInRun = false;
};
