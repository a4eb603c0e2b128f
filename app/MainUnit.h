#pragma once

#include "bookqueue.h"
#include "downloadcontroller.h"

#include <QRect>
#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QToolButton;
class QWebEngineProfile;
class BookQueue;
class BookSequence;
class RunLogWriter;
class TAnchoredPanel;
class TQueuePanel;
class TCEFWindowParent;
class TChromium;
class TLogMemo;
class TePubobj;

// The program's one window: a small browser for the library site with a toolbar on top, and
// on the right the Download, Stop and Rebuild buttons above the activity log.
class TMainfm : public QWidget
{
    Q_OBJECT
public:
    // Builds the window, shows it and asks for the browser. Without a profile no browser can
    // be created: the window then works without one.
    explicit TMainfm(QWebEngineProfile *profile, QWidget *parent = nullptr);
    ~TMainfm() override;

    // Toolbar and address bar.
    void homebtnClick();
    void backbtnClick();
    void forwardbtnClick();
    void gobtnClick();
    void addressedKeyPress(QChar key);
    void SpeedButton1Click();
    void AboutbtnClick();

    // Opens url; reloads instead when the main frame shows exactly url.
    void LoadOrReload(const QString &url);

    // Where the window goes once the browser exists, for a screen's work area.
    static QRect BrowserWindowBounds(const QRect &workArea);

    // Download runs: the run itself lives in Controller, which these forward to.
    void downloadbtnClick();
    void stopbtnClick();
    void rebuildbtnClick();
    void setWorking(bool Value);
    void Timer1Timer();
    void WMBookPage();
    // The book queue: Add to queue (the book on display), Run queue (one book after another,
    // after the download under way).
    void addToQueueClick();
    void runQueueClick();

    // The pages the "Download From" and "To" boxes ask for. Throws AppError, saying why, when
    // they do not make a range.
    PageRange RequestedRange() const;

    // Browser callbacks of the window's own (the run follows the browser itself).
    void chmAddressChange(int browserId, bool isMainFrame, const QString &url);
    bool chmBeforePopup(int browserId, const QString &targetUrl);

    // Close sequence: the browser goes first, then the window.
    void FormCloseQuery(bool &CanClose);
    bool canClose() const { return FCanClose; }
    bool closing() const { return FClosing; }

    TChromium *chm = nullptr;
    TCEFWindowParent *CEFWin = nullptr;

    TAnchoredPanel *Panel1 = nullptr;
    QLabel *IconImage = nullptr;
    QToolButton *homebtn = nullptr;
    QToolButton *backbtn = nullptr;
    QToolButton *forwardbtn = nullptr;
    QLineEdit *addressed = nullptr;
    QToolButton *gobtn = nullptr;
    QLabel *ticklabel = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *Aboutbtn = nullptr;
    QWidget *Panel3 = nullptr;
    QSplitter *Splitter1 = nullptr;
    QWidget *Panel2 = nullptr;
    QFrame *panel6 = nullptr;
    QPushButton *downloadbtn = nullptr;
    QPushButton *stopbtn = nullptr;
    QPushButton *rebuildbtn = nullptr;
    QLabel *timelabel = nullptr;
    QProgressBar *progressbar = nullptr; // pages of the run or the build, and the time left
    QCheckBox *searchablebox = nullptr;  // "Searchable PDF": recognise the pages' text
    QComboBox *languagebox = nullptr;    // the language of the text, from the installed models
    QLineEdit *started = nullptr;        // "Download From": first page; empty: the page on display
    QLineEdit *ended = nullptr;          // "To": last page; empty: the book's end
    TQueuePanel *QueuePanel = nullptr;
    TLogMemo *Memo1 = nullptr;
    QWidget *Panel5 = nullptr;

    QString PageScript;
    TePubobj *Book = nullptr;
    TDownloadController *Controller = nullptr;
    BookQueue *Queue = nullptr;          // kept in the data folder between sessions
    BookSequence *QueueRun = nullptr;    // downloads the queued books one after another

    void OpenOutputFolder();

signals:
    // The close was accepted: the browser is gone and the program may end.
    void Closed();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void FormCreate();
    void FormShow();
    void OnAfterCreated();
    void OnBeforeClose();
    void WMBrowserCreated();
    void trimActivityPanel();
    void showWorking(bool working);
    void setupTextRecognition();
    void textRecognitionChanged();
    void setupQueue();

    bool FCanClose = false;
    bool FClosing = false;
    bool m_browserRequested = false;
    QWebEngineProfile *m_profile;
    RunLogWriter *m_runLog = nullptr; // the run's events in the log, the progress bar and notifications
};
