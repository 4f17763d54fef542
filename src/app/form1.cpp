// Form1: the window itself, its start-up, the pointer rules, the application title and closing.

#include "app/form1.h"

#include "platform/errorreport.h"
#include "platform/prompts.h"
#include "app/settingsrules.h"
#include "app/settingsstore.h"
#include "app/skinframework.h"
#include "filelist/filelistview.h"
#include "platform/apperror.h"
#include "platform/main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

namespace {

// Reads the hotspot of a Windows cursor file (type 2); (0, 0) when the file has none.
QPoint cursorHotspot(const QByteArray &bytes)
{
    if (bytes.size() < 22 || bytes.at(2) != 2)
        return QPoint(0, 0);
    const auto word = [&bytes](int at) {
        return int(uchar(bytes.at(at))) | (int(uchar(bytes.at(at + 1))) << 8);
    };
    return QPoint(word(10), word(12));
}

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/lumbrisk-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

Form1::Form1(const Form1Setup &setup, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint),
      m_prompts(setup.prompts),
      m_settings(setup.settings),
      m_programFolder(setup.programFolder),
      m_endProgram(setup.endProgram),
      m_skin(std::make_unique<SkinFramework>())
{
    Q_ASSERT(m_prompts && m_settings);
    Q_INIT_RESOURCE(lumbrisk); // the pictures live in a static library
    if (!m_endProgram) {
        m_endProgram = [] {
            std::fflush(nullptr);
            std::_Exit(0);
        };
    }
    // Told once per start; the settings then live on in the window until it closes.
    m_settings->setSaveFailed([this](const QString &file, const QString &reason) {
        m_prompts->message(ApplicationTitleFor(ProductName),
                           QStringLiteral("Lumbrisk cannot save its settings in %1: %2.\r\r"
                                          "Your changes stay in effect until you close Lumbrisk.")
                               .arg(file, reason));
    });
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setFixedSize(1064, 447);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    createControls();
    applyFonts();
    setTabOrder();
    wireSettingsHandlers();
    wireAddingHandlers();
    wireReorderingHandlers();
    wireSampleHandlers();
    wirePreviewHandlers();
}

Form1::~Form1()
{
    m_settings->setSaveFailed({});
    if (showsBusyPointer())
        QGuiApplication::restoreOverrideCursor();
}


void Form1::Form_Load()
{
    GuardedSteps steps(*m_prompts, QStringLiteral("Form1.Form_Load"));
    steps.run(100, [this] { ApplySkin(); });
    if (steps.test(102, [this] { return Main::PathExists(m_programFolder + QStringLiteral("/HAND-M.CUR")); }))
        steps.run(104, [this] { loadCustomPointer(); });
    steps.run(108, [this] {
        if (m_settings->read(QStringLiteral("Snapshot")).isEmpty())
            CaptureSamples();
    });
    steps.run(130, [this] {
        setWindowTitle(ProductName);
        setWindowIcon(programIcon());
        SetApplicationTitle();
    });
    steps.run(132, [this] { ListView1->setHeaderLabels({QStringLiteral("MP3 File(s)")}); });
    steps.run(134, [this] { ListView1->header()->resizeSection(0, qRound(6500 / 15.0)); });
    steps.run(136, [this] { restoreText(Text1, QStringLiteral("Text1"), SettingsRules::GetDesktopFolder()); });
    addBitrateItems(steps);
    steps.run(176, [this] { restoreCombo1(); });
    steps.run(178, [this] { restoreOption(Option1, QStringLiteral("Option1"), QStringLiteral("1")); });
    steps.run(180, [this] { restoreOption(Option2, QStringLiteral("Option2"), QStringLiteral("0")); });
    steps.run(182, [this] { enableFrame1FromOption1(); });
    steps.run(188, [this] { restoreOption(Option3, QStringLiteral("Option3"), QStringLiteral("0")); });
    steps.run(190, [this] { restoreOption(Option4, QStringLiteral("Option4"), QStringLiteral("1")); });
    steps.run(192, [this] { restoreText(Text2, QStringLiteral("Text2"), QStringLiteral("3")); });
    steps.run(194, [this] { restoreText(Text3, QStringLiteral("Text3"), QStringLiteral("15")); });
}

void Form1::showCentred()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    ListView1->setFocus();
}

void Form1::ApplySkin()
{
    const QString skinFile = m_programFolder + QStringLiteral("/x/o.cjs");
    if (!QFile::exists(skinFile))
        return;
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    QList<QWidget *> faced{this};
    for (QWidget *child : findChildren<QGroupBox *>())
        faced << child;
    for (QWidget *child : findChildren<QRadioButton *>())
        faced << child;
    for (QWidget *widget : faced) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, buttonFace);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    }
    m_skin->LoadSkin(skinFile, QString());
    m_skin->SetOptions(m_skin->Options() | 1);
    m_skin->SetApplyColors(true);
    m_skin->SetApplyMetrics(true);
    m_skin->ApplyWindow(this);
}

QString Form1::ApplicationTitleFor(const QString &productName)
{
    // Message boxes are titled with the name less its last word, at most 40 characters.
    // A name of one word has no last word to drop and stays whole.
    QString title = productName;
    do {
        const qsizetype lastSpace = title.lastIndexOf(QLatin1Char(' '));
        if (lastSpace < 0)
            break;
        title.truncate(lastSpace);
    } while (title.size() > 40);
    return title;
}

void Form1::SetApplicationTitle()
{
    m_applicationTitle = ApplicationTitleFor(ProductName);
}

void Form1::loadCustomPointer()
{
    QFile file(m_programFolder + QStringLiteral("/HAND-M.CUR"));
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot read the pointer file: %1").arg(file.errorString()));
    const QByteArray bytes = file.readAll();
    QPixmap image;
    if (!image.loadFromData(bytes, "CUR") && !image.loadFromData(bytes, "ICO"))
        throw AppError(QStringLiteral("The pointer file HAND-M.CUR is not a cursor image."));
    const QPoint hotspot = cursorHotspot(bytes);
    m_customCursor = QCursor(image, hotspot.x(), hotspot.y());
    m_customPointerLoaded = true;
}

QCursor Form1::cursorFor(Pointer pointer) const
{
    switch (pointer) {
    case Pointer::Busy:
        return QCursor(Qt::WaitCursor);
    case Pointer::Custom:
        return m_customPointerLoaded ? m_customCursor : QCursor(Qt::ArrowCursor);
    case Pointer::Default:
        break;
    }
    return QCursor(Qt::ArrowCursor);
}

void Form1::setPointer(Pointer pointer)
{
    // The hourglass shows over every control while busy, also over the text boxes, which
    // have a pointer of their own.
    if (pointer == Pointer::Busy && !showsBusyPointer())
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else if (pointer != Pointer::Busy && showsBusyPointer())
        QGuiApplication::restoreOverrideCursor();
    m_pointer = pointer;
    setCursor(cursorFor(pointer));
}

void Form1::applyPointerRule(QObject *watched)
{
    if (showsBusyPointer())
        return;
    const bool overButton = qobject_cast<QPushButton *>(watched) != nullptr;
    const bool overBackground = watched == this || watched == Text1 || qobject_cast<QGroupBox *>(watched);
    if (overButton)
        setPointer(Pointer::Custom);
    else if (overBackground)
        setPointer(Pointer::Default);
}

// A move that a child ignored reaches its parent too; only the control under the
// pointer itself counts, so a "?" button does not act as its frame.
bool Form1::isDirectlyUnderMouse(QObject *watched, const QMouseEvent *event)
{
    const auto *widget = static_cast<QWidget *>(watched);
    return widget->childAt(event->position().toPoint()) == nullptr;
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove && isDirectlyUnderMouse(watched, static_cast<QMouseEvent *>(event)))
        applyPointerRule(watched);
    else if (event->type() == QEvent::FocusOut && (watched == Text2 || watched == Text3))
        checkNumberField(static_cast<QLineEdit *>(watched), static_cast<QFocusEvent *>(event));
    return QWidget::eventFilter(watched, event);
}

void Form1::Form_Unload()
{
    if (m_stopJob)
        m_stopJob();
    m_endProgram();
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}
