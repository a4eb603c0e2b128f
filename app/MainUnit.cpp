#include "MainUnit.h"

#include "aboutbox.h"
#include "apperror.h"
#include "activitylog.h"
#include "anchoredpanel.h"
#include "bookpage.h"
#include "bookqueue.h"
#include "booksequence.h"
#include "booktitle.h"
#include "queuepanel.h"
#include "desktopnotify.h"
#include "chromium.h"
#include "errorreport.h"
#include "folders.h"
#include "keepawake.h"
#include "logmemo.h"
#include "ocrmodels.h"
#include "resourcetext.h"
#include "resourceimage.h"
#include "siteurls.h"
#include "starturl.h"
#include "textsetting.h"
#include "vbooks.h"
#include "runlogwriter.h"
#include "windowfont.h"
#include "windowmessages.h"
#include "windowparent.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The window as designed: client area and the width its toolbar was laid out for.
constexpr int DesignClientWidth = 1072;
constexpr int DesignClientHeight = 688;
constexpr int RightPanelWidth = 248;
constexpr int SplitterWidth = 4;


QToolButton *toolButton(QWidget *parent, const QString &image, const QString &hint, const QRect &bounds)
{
    auto *button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(QIcon(image));
    button->setIconSize(QSize(24, 24));
    button->setToolTip(hint);
    button->setGeometry(bounds);
    return button;
}

QToolButton *captionButton(QWidget *parent, const QString &image, const QString &caption, const QRect &bounds)
{
    QToolButton *button = toolButton(parent, image, caption, bounds);
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(20, 20));
    return button;
}

QPushButton *runButton(QWidget *parent, const QString &caption, const QString &image)
{
    auto *button = new QPushButton(caption, parent);
    button->setFont(WindowFont(16, true));
    if (!image.isEmpty()) {
        button->setIcon(QIcon(image));
        button->setIconSize(QSize(24, 24));
    }
    return button;
}

} // namespace

TMainfm::TMainfm(QWebEngineProfile *profile, QWidget *parent) : QWidget(parent), m_profile(profile)
{
    createControls();
    FormCreate();
}

TMainfm::~TMainfm()
{
    delete Controller; // before the book it captures into
    delete Book;
    KeepAwake::Release(); // a run may still hold the request
    SetActivityLogSink(nullptr);
}

void TMainfm::createControls()
{
    setFont(WindowFont(11));
    resize(DesignClientWidth, DesignClientHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move((screen->geometry().width() - DesignClientWidth) / 2, (screen->geometry().height() - DesignClientHeight) / 2);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Toolbar.
    Panel1 = new TAnchoredPanel(DesignClientWidth, this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(45);
    Panel1->resize(DesignClientWidth, 45);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    layout->addWidget(Panel1);

    IconImage = new QLabel(Panel1);
    IconImage->setGeometry(0, 0, 49, 45);
    homebtn = toolButton(Panel1, QStringLiteral(":/images/home.png"), QStringLiteral("Home"), {77, 8, 33, 31});
    backbtn = toolButton(Panel1, QStringLiteral(":/images/back.png"), QStringLiteral("Go Back"), {108, 8, 33, 31});
    forwardbtn = toolButton(Panel1, QStringLiteral(":/images/forward.png"), QStringLiteral("Go Forward"), {139, 8, 33, 31});
    addressed = new QLineEdit(Panel1);
    addressed->setGeometry(176, 13, 593, 21);
    Panel1->anchorLeftRight(addressed);
    gobtn = toolButton(Panel1, QStringLiteral(":/images/go.png"), QStringLiteral("Go"), {769, 8, 33, 31});
    Panel1->anchorRight(gobtn);
    ticklabel = new QLabel(QStringLiteral("--"), Panel1);
    ticklabel->setGeometry(808, 16, 60, 14);
    Panel1->anchorRight(ticklabel);
    SpeedButton1 = captionButton(Panel1, QStringLiteral(":/images/help.png"), QStringLiteral("Help"), {983, 0, 49, 45});
    Panel1->anchorRight(SpeedButton1);
    Aboutbtn = captionButton(Panel1, QStringLiteral(":/images/about.png"), QStringLiteral("About"), {1023, 0, 49, 45});
    Panel1->anchorRight(Aboutbtn);

    // Browser on the left, run buttons and the log on the right.
    Panel3 = new QWidget(this);
    auto *panel3Layout = new QHBoxLayout(Panel3);
    panel3Layout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Horizontal, Panel3);
    Splitter1->setHandleWidth(SplitterWidth);
    Splitter1->setChildrenCollapsible(false);
    panel3Layout->addWidget(Splitter1);
    layout->addWidget(Panel3, 1);

    CEFWin = new TCEFWindowParent(Splitter1);
    Panel2 = new QWidget(Splitter1);
    Splitter1->addWidget(CEFWin);
    Splitter1->addWidget(Panel2);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({DesignClientWidth - RightPanelWidth - SplitterWidth, RightPanelWidth});

    auto *panel2Layout = new QVBoxLayout(Panel2);
    panel2Layout->setContentsMargins(0, 0, 0, 0);
    panel2Layout->setSpacing(0);
    panel6 = new QFrame(Panel2);
    panel6->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel6->setFont(WindowFont(13));
    panel6->setFixedHeight(169);
    panel2Layout->addWidget(panel6);

    downloadbtn = runButton(panel6, QStringLiteral("Download"), QStringLiteral(":/images/download.png"));
    downloadbtn->setGeometry(32, 6, 121, 43);
    stopbtn = runButton(panel6, QStringLiteral("Stop"), QStringLiteral(":/images/stop.png"));
    rebuildbtn = runButton(panel6, QStringLiteral("Rebuild"), QString());
    rebuildbtn->setGeometry(159, 6, 75, 43);
    // Shown during a run, before the progress bar that tells the time left.
    timelabel = new QLabel(QStringLiteral("time"), panel6);
    timelabel->setGeometry(8, 84, 36, 16);
    // The pages to download: empty boxes mean from the page on display to the book's end.
    auto *fromLabel = new QLabel(QStringLiteral("Download From"), panel6);
    fromLabel->setGeometry(8, 58, 100, 16);
    started = new QLineEdit(panel6);
    started->setObjectName(QStringLiteral("started"));
    started->setGeometry(110, 55, 48, 21);
    started->setPlaceholderText(QStringLiteral("here"));
    started->setToolTip(QStringLiteral("The first page to download; empty: the page on display"));
    auto *toLabel = new QLabel(QStringLiteral("To"), panel6);
    toLabel->setGeometry(164, 58, 20, 16);
    ended = new QLineEdit(panel6);
    ended->setObjectName(QStringLiteral("ended"));
    ended->setGeometry(186, 55, 48, 21);
    ended->setPlaceholderText(QStringLiteral("end"));
    ended->setToolTip(QStringLiteral("The last page to download; empty: the book's last page"));
    progressbar = new QProgressBar(panel6);
    progressbar->setGeometry(46, 81, RightPanelWidth - 54, 22);
    progressbar->setTextVisible(true);
    progressbar->setFont(WindowFont(11));
    progressbar->hide();
    searchablebox = new QCheckBox(QStringLiteral("Searchable PDF"), panel6);
    searchablebox->setGeometry(8, 109, 130, 20);
    languagebox = new QComboBox(panel6);
    languagebox->setGeometry(140, 107, RightPanelWidth - 148, 24);

    Queue = new BookQueue(this);
    QueuePanel = new TQueuePanel(Queue, Panel2);
    panel2Layout->addWidget(QueuePanel);

    Memo1 = new TLogMemo(Panel2);
    Memo1->setFont(WindowFont(13));
    panel2Layout->addWidget(Memo1, 1);

    Panel5 = new QWidget(this);
    Panel5->setFixedHeight(41);
    layout->addWidget(Panel5);

    chm = new TChromium(m_profile, this);

    connect(homebtn, &QToolButton::clicked, this, Guarded([this](bool) { homebtnClick(); }));
    connect(backbtn, &QToolButton::clicked, this, Guarded([this](bool) { backbtnClick(); }));
    connect(forwardbtn, &QToolButton::clicked, this, Guarded([this](bool) { forwardbtnClick(); }));
    connect(gobtn, &QToolButton::clicked, this, Guarded([this](bool) { gobtnClick(); }));
    connect(SpeedButton1, &QToolButton::clicked, this, Guarded([this](bool) { SpeedButton1Click(); }));
    connect(Aboutbtn, &QToolButton::clicked, this, Guarded([this](bool) { AboutbtnClick(); }));
    addressed->installEventFilter(this);
    connect(downloadbtn, &QPushButton::clicked, this, Guarded([this](bool) { downloadbtnClick(); }));
    connect(stopbtn, &QPushButton::clicked, this, Guarded([this](bool) { stopbtnClick(); }));
    connect(rebuildbtn, &QPushButton::clicked, this, Guarded([this](bool) { rebuildbtnClick(); }));

    connect(chm, &TChromium::AfterCreated, this, Guarded([this](int) { OnAfterCreated(); }));
    connect(chm, &TChromium::BeforeClose, this, Guarded([this](int) { OnBeforeClose(); }));
    connect(chm, &TChromium::AddressChange, this, Guarded([this](int id, bool isMain, const QString &url) {
                chmAddressChange(id, isMain, url);
            }));
    connect(chm, &TChromium::BeforePopup, this, [this](int id, const QString &url, bool *cancel) {
        RunGuarded([&] { *cancel = chmBeforePopup(id, url); });
    });
}

void TMainfm::FormCreate()
{
    FCanClose = false;
    FClosing = false;
    LoadPngResource(QStringLiteral("ICONBMP"), IconImage);
    setWindowTitle(QStringLiteral("Quillmoor Downloader"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillmoor Downloader"));
    setWindowIcon(IconImage->pixmap());
    PageScript = ResourceText(QStringLiteral("jsQM"), QStringLiteral("HTML"));
    trimActivityPanel();
    show();
    Panel5->setFixedHeight(3);
    downloadbtn->setEnabled(false);
    stopbtn->setGeometry(downloadbtn->geometry());
    stopbtn->hide();
    rebuildbtn->hide();
    Book = new TePubobj;
    Controller = new TDownloadController(*chm, *Book, PageScript);
    m_runLog = new RunLogWriter(*Memo1, this);
    connect(Controller, &TDownloadController::Event, m_runLog, &RunLogWriter::Write);
    connect(Controller, &TDownloadController::Failed, this, &ReportError);
    connect(m_runLog, &RunLogWriter::Notice, this, &NotifyDesktop);
    connect(Controller, &TDownloadController::AwakeNeeded, this, [](bool needed) {
        needed ? KeepAwake::Request() : KeepAwake::Release();
    });
    connect(Controller, &TDownloadController::WorkingChanged, this, &TMainfm::showWorking);
    connect(Controller, &TDownloadController::TickCountChanged, this, [this](int ticks) { ticklabel->setText(QString::number(ticks)); });
    connect(&Controller->Display(), &TBookOnDisplay::BookPageLoaded, this, [this] {
        downloadbtn->setEnabled(true);
        QueuePanel->setAddEnabled(true);
    });
    connect(&Controller->Display(), &TBookOnDisplay::OtherPageLoaded, this, [this] {
        downloadbtn->setEnabled(false);
        QueuePanel->setAddEnabled(false);
        rebuildbtn->hide();
    });
    connect(Controller, &TDownloadController::RebuildAvailable, rebuildbtn, &QWidget::setVisible);
    connect(Controller, &TDownloadController::OpenOutputFolder, this, &TMainfm::OpenOutputFolder);
    connect(m_runLog, &RunLogWriter::Progress, this, [this](int value, int maximum, const QString &text) {
        progressbar->setRange(0, qMax(1, maximum));
        progressbar->setValue(qBound(0, value, qMax(1, maximum)));
        progressbar->setFormat(text);
        progressbar->show();
    });
    connect(m_runLog, &RunLogWriter::ProgressEnded, progressbar, &QWidget::hide);
    setupTextRecognition();
    SetActivityLogSink(Memo1);
    AddLog(QStringLiteral("Copy book link from browser, paste in address bar and open ebook,  click \"download\" "
                          "button to download ebook when it is ready"));
    setupQueue();
}

void TMainfm::setupTextRecognition()
{
    const QStringList languages = InstalledOcrLanguages();
    if (languages.isEmpty()) {
        searchablebox->setChecked(false);
        searchablebox->setEnabled(false);
        languagebox->setEnabled(false);
        searchablebox->setToolTip(QStringLiteral("No text recognition model is installed: install the package %1 "
                                                 "(or tesseract-ocr-<language>) for searchable PDFs")
                                      .arg(DefaultOcrPackage()));
        Controller->SetOcrLanguage(QString());
        return;
    }
    const QSettings settings = ProgramSettings();
    languagebox->addItems(languages);
    QString language = settings.value(QStringLiteral("ocr/language"), QStringLiteral("eng")).toString();
    if (!languages.contains(language))
        language = languages.contains(QStringLiteral("eng")) ? QStringLiteral("eng") : languages.first();
    languagebox->setCurrentText(language);
    searchablebox->setChecked(settings.value(QStringLiteral("ocr/searchable"), true).toBool());
    searchablebox->setToolTip(QStringLiteral("Recognise the text of the pages, so that the PDF can be searched and its text copied"));
    languagebox->setToolTip(QStringLiteral("The language of the book's text"));
    languagebox->setEnabled(searchablebox->isChecked());
    connect(searchablebox, &QCheckBox::toggled, this, &TMainfm::textRecognitionChanged);
    connect(languagebox, &QComboBox::currentTextChanged, this, &TMainfm::textRecognitionChanged);
    Controller->SetOcrLanguage(searchablebox->isChecked() ? language : QString());
}

void TMainfm::textRecognitionChanged()
{
    QSettings settings = ProgramSettings();
    settings.setValue(QStringLiteral("ocr/searchable"), searchablebox->isChecked());
    settings.setValue(QStringLiteral("ocr/language"), languagebox->currentText());
    languagebox->setEnabled(searchablebox->isChecked());
    Controller->SetOcrLanguage(searchablebox->isChecked() ? languagebox->currentText() : QString());
}

void TMainfm::trimActivityPanel()
{
    // Only the button row stays in view; the fields below it are cut off.
    panel6->setFixedHeight(downloadbtn->y() + downloadbtn->height() + 30);
    timelabel->hide();
    panel6->setFixedHeight(languagebox->y() + languagebox->height() + 8);
}

void TMainfm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    RunGuarded([this] { FormShow(); });
}

void TMainfm::FormShow()
{
    if (m_browserRequested)
        return;
    m_browserRequested = true;
    chm->CreateBrowser(CEFWin); // without a browser the window still works, with no page
}

void TMainfm::OnAfterCreated()
{
    QCoreApplication::postEvent(this, new QEvent(WindowMessage::WM_BROWSERCREATED));
}

QRect TMainfm::BrowserWindowBounds(const QRect &workArea)
{
    const int height = workArea.height() - 80;
    const int width = 1500;
    // Integer division truncating toward zero, in screen coordinates: the work area's own
    // origin is not added, and a work area narrower than the window gives a negative left.
    return {(workArea.width() - width) / 2, (workArea.height() - height) / 2, width, height};
}

void TMainfm::WMBrowserCreated()
{
    if (FClosing || !CEFWin)
        return; // the browser host is gone already
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect bounds = BrowserWindowBounds(screen->availableGeometry());
    // The bounds are the outer frame's; the frame's borders come off the client size.
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    resize(bounds.width() - frameExtra.width(), bounds.height() - frameExtra.height());
    move(bounds.topLeft());
    const QString startUrl = TakeStartUrl(); // an address from the command line goes first
    LoadOrReload(startUrl.isEmpty() ? HomeUrl() : startUrl);
}

bool TMainfm::event(QEvent *event)
{
    if (event->type() == WindowMessage::WM_BROWSERCREATED) {
        RunGuarded([this] { WMBrowserCreated(); });
        return true;
    }
    if (event->type() == WindowMessage::WM_CLOSE) {
        close();
        return true;
    }
    return QWidget::event(event);
}

bool TMainfm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == addressed && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            RunGuarded([this] { addressedKeyPress(QChar(13)); });
    }
    return QWidget::eventFilter(watched, event); // the key goes on to the address bar
}

void TMainfm::LoadOrReload(const QString &url)
{
    if (!chm->HasBrowser())
        return;
    if (chm->MainFrameUrl() == url)
        chm->Reload();
    else
        chm->LoadURL(url);
}

void TMainfm::homebtnClick()
{
    LoadOrReload(HomeUrl());
}

void TMainfm::backbtnClick()
{
    chm->GoBack();
}

void TMainfm::forwardbtnClick()
{
    chm->GoForward();
}

void TMainfm::gobtnClick()
{
    chm->LoadURL(addressed->text());
}

void TMainfm::addressedKeyPress(QChar key)
{
    if (key == QChar(13) && chm->HasBrowser())
        chm->LoadURL(addressed->text());
}

void TMainfm::SpeedButton1Click()
{
    QDesktopServices::openUrl(QUrl(HelpUrl()));
}

void TMainfm::AboutbtnClick()
{
    TAboutfm about(this);
    about.exec();
}

void TMainfm::chmAddressChange(int browserId, bool isMainFrame, const QString &url)
{
    if (chm->IsOwnMainFrame(browserId, isMainFrame))
        addressed->setText(url);
}

bool TMainfm::chmBeforePopup(int browserId, const QString &targetUrl)
{
    if (targetUrl == QLatin1String("about:blank"))
        return false; // opens in a window of its own
    // Anything else replaces the page of the browser that asked, once the request is over.
    QTimer::singleShot(0, chm, [chm = chm, browserId, targetUrl] { chm->LoadURLIn(browserId, targetUrl); });
    return true;
}

PageRange TMainfm::RequestedRange() const
{
    const QString from = started->text().trimmed(), to = ended->text().trimmed();
    if (from.isEmpty() && to.isEmpty())
        return PageRange();
    QString error;
    const std::optional<PageRange> range = ParsePageRange(from + QLatin1Char('-') + to, &error);
    if (!range)
        throw AppError(QStringLiteral("Download From / To: %1").arg(error));
    return *range;
}

void TMainfm::downloadbtnClick()
{
    Controller->SetPageRange(RequestedRange());
    Controller->Start();
    chm->SetFocus();
}

void TMainfm::stopbtnClick()
{
    Controller->Stop();
}

void TMainfm::rebuildbtnClick()
{
    Controller->Rebuild();
}

void TMainfm::setWorking(bool Value)
{
    Value ? Controller->Start() : Controller->Stop();
}

void TMainfm::Timer1Timer()
{
    Controller->Tick();
}

void TMainfm::WMBookPage()
{
    Controller->IdentifyBook();
}

void TMainfm::setupQueue()
{
    QueueRun = new BookSequence(*Controller, *chm, *Queue, this);
    connect(QueueRun, &BookSequence::BookNotOpened, this, [](const QueueEntry &, const QString &why) { AddLog(why); });
    connect(QueueRun, &BookSequence::BookEnded, this, [](const QueueEntry &, const RunOutcome &outcome) {
        if (outcome.kind == RunOutcome::Failed)
            AddLog(outcome.reason); // marked failed in the queue, which goes on
    });
    connect(QueueRun, &BookSequence::Done, this, [] { AddLog(QStringLiteral("The queue is done")); });
    connect(QueuePanel, &TQueuePanel::addRequested, this, Guarded([this] { addToQueueClick(); }));
    connect(QueuePanel, &TQueuePanel::runRequested, this, Guarded([this] { runQueueClick(); }));
    connect(Queue, &BookQueue::saveFailed, this, [](const QString &reason) { AddLog(reason); });
    const QString problem = Queue->load(BookQueue::DefaultFile());
    if (!problem.isEmpty())
        AddLog(problem);
    int kept = 0;
    for (const QueueEntry &entry : Queue->entries())
        kept += entry.state == QueueState::Waiting || entry.state == QueueState::Stopped ? 1 : 0;
    // Offered again: the reader decides when the books are downloaded.
    if (kept > 0)
        AddLog(QStringLiteral("%1 queued from the last session: press \"Run queue\" to download %2")
                   .arg(kept == 1 ? QStringLiteral("A book is") : QStringLiteral("%1 books are").arg(kept),
                        kept == 1 ? QStringLiteral("it") : QStringLiteral("them")));
}

void TMainfm::addToQueueClick()
{
    const PageRange range = RequestedRange();
    QueueEntry entry;
    entry.url = chm->MainFrameUrl();
    entry.bookId = BookIdFromUrl(entry.url);
    entry.title = BookTitleFromPageTitle(chm->Title(), entry.bookId);
    entry.pages = SameBook(Book->id, entry.bookId) ? Controller->TotalPages() : 0;
    entry.range = range;
    if (Queue->add(entry))
        AddLog(QStringLiteral("Queued: %1").arg(entry.title));
    else
        AddLog(QStringLiteral("The book is in the queue already: %1").arg(entry.title));
}

void TMainfm::runQueueClick()
{
    QueueRun->Start(); // after the download under way, when there is one
}

void TMainfm::showWorking(bool working)
{
    QueuePanel->setRunEnabled(!working);
    stopbtn->setVisible(working);
    downloadbtn->setVisible(!working);
    timelabel->setVisible(working);
}

void TMainfm::OpenOutputFolder()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(AppFolders().dataFolder));
}

void TMainfm::closeEvent(QCloseEvent *event)
{
    bool canClose = false;
    RunGuarded([&] { FormCloseQuery(canClose); });
    event->setAccepted(canClose);
    if (canClose)
        emit Closed();
}

void TMainfm::FormCloseQuery(bool &CanClose)
{
    CanClose = FCanClose;
    if (FClosing)
        return; // the browser is closing already; its report closes the window
    FClosing = true;
    hide(); // at once: ending a build or a recognition in hand takes a moment
    Controller->Close(); // no tick, capture or build goes on; the earlier PDF stays
    if (!chm->HasBrowser()) {
        // No browser to wait for (never created): nothing will report, close now.
        FCanClose = true;
        CanClose = true;
        return;
    }
    chm->CloseBrowser();
    CEFWin->deleteLater();
    CEFWin = nullptr;
}

void TMainfm::OnBeforeClose()
{
    if (chm->BrowserId() != 0)
        return;
    FCanClose = true;
    QCoreApplication::postEvent(this, new QEvent(WindowMessage::WM_CLOSE));
}
