#pragma once
// Form1: the one window. It owns every control and the window state; its handlers are
// split by subsystem (app/, filelist/, preview/) and keep the names of their events.

#include <QCursor>
#include <QPersistentModelIndex>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QDragMoveEvent;
class QDropEvent;
class QFocusEvent;
class QGroupBox;
class QLineEdit;
class QMouseEvent;
class QPushButton;
class QRadioButton;
class FileListView;
class GuardedSteps;
class ProgressBar;
class Prompts;
class SettingsStore;
class SkinFramework;

// What the window is given from outside, so tests can supply their own.
struct Form1Setup {
    Prompts *prompts = nullptr;        // required
    SettingsStore *settings = nullptr; // required
    QString programFolder;             // where "HAND-M.CUR", "x/o.cjs", "drag.ico", "Samples/" lie
    std::function<void()> endProgram;  // closing the window; the default exits the process at once
};

class Form1 : public QWidget {
    Q_OBJECT
public:
    enum class Pointer { Default, Custom, Busy };

    static inline const QString ProductName = QStringLiteral("Lumbrisk");

    explicit Form1(const Form1Setup &setup, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: the numbered steps of Form_Load; the caller shows the window afterwards.
    void Form_Load();
    // Shows the window centred on the screen, focus on the list.
    void showCentred();

    // Window state shared by the handlers.
    bool busy() const { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }
    Pointer pointer() const { return m_pointer; }
    void setPointer(Pointer pointer);
    // While the busy pointer shows, the pointer rule, the folder button and the list edits
    // do nothing.
    bool showsBusyPointer() const { return m_pointer == Pointer::Busy; }
    bool hasCustomPointerImage() const { return m_customPointerLoaded; }
    QString applicationTitle() const { return m_applicationTitle; }
    QString programFolder() const { return m_programFolder; }
    Prompts &prompts() const { return *m_prompts; }
    SettingsStore &settings() const { return *m_settings; }

    // Controls, named as on the window.
    FileListView *ListView1 = nullptr;
    QPushButton *PushButton1 = nullptr;  // "Add MP3 File(s)"
    QPushButton *PushButton2 = nullptr;  // "Start Creating"
    QPushButton *PushButton3 = nullptr;  // "Move Up"
    QPushButton *PushButton4 = nullptr;  // "Add All MP3 File(s) In Folder"
    QPushButton *PushButton5 = nullptr;  // "Move Down"
    QPushButton *PushButton6 = nullptr;  // "?" start hint
    QPushButton *PushButton7 = nullptr;  // "?" duration hint
    QPushButton *PushButton10 = nullptr; // "Clear List"
    QPushButton *PushButton11 = nullptr; // "Load Sample/Example Files"
    QPushButton *PushButton12 = nullptr; // "..." output folder
    ProgressBar *ProgressBar1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QGroupBox *Frame5 = nullptr;
    QGroupBox *Frame6 = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QRadioButton *Option3 = nullptr;
    QRadioButton *Option4 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QComboBox *Combo1 = nullptr;

    // --- Main window and start-up (app/form1.cpp) ---
    void ApplySkin();
    void SetApplicationTitle();
    // The title rule: drop the last word, then more while longer than 40 characters.
    static QString ApplicationTitleFor(const QString &productName);
    // Stops the running job first (its tool and what it was writing), then ends the program.
    void Form_Unload();

    // --- Settings and input checks (app/form1_settings.cpp) ---
    void PushButton6_Click();
    void PushButton7_Click();
    void PushButton12_Click();

    // --- Adding files (filelist/form1_adding.cpp) ---
    void PushButton1_Click();
    void PushButton4_Click();
    void ListView1_OLEDragOver(QDragMoveEvent *event);
    void ListView1_OLEDragDrop(QDropEvent *event);
    // Adds paths as a drop does, in their order: a file becomes a row; a folder adds the files
    // of it and of its subfolders that match the pattern ("*.*" matches every file).
    void addPaths(const QStringList &paths, const QString &folderPattern);

    // --- Reordering and removing (filelist/form1_reordering.cpp) ---
    void PushButton3_Click();
    void PushButton5_Click();
    void PushButton10_Click();
    void ListView1_KeyDown(int key);
    void ListView1_DblClick();
    void ListView1_MouseDown();
    void ListView1_ItemClick();
    void ListView1_MouseMove(const QPoint &point);
    void ListView1_MouseUp();

    // --- Sample files (filelist/form1_samples.cpp) ---
    void CaptureSamples();
    void PushButton11_Click();

    // --- Preview job (preview/form1_preview.cpp) ---
    void PushButton2_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The controls, their fonts and the tab order (app/form1_controls.cpp).
    void createControls();
    void setTabOrder();
    static void setTabStopAtSelectedOption(QRadioButton *first, QRadioButton *second);
    void applyFonts();
    void loadCustomPointer();
    void applyPointerRule(QObject *watched);
    static bool isDirectlyUnderMouse(QObject *watched, const QMouseEvent *event);
    QCursor cursorFor(Pointer pointer) const;

    // Each subsystem connects its own handlers to the controls.
    void wireSettingsHandlers();
    void wireAddingHandlers();
    void wireReorderingHandlers();
    void wireSampleHandlers();
    void wirePreviewHandlers();

    // Saving the option pairs and checking a number field that loses the focus
    // (app/form1_settings.cpp).
    void savePlaceOption();
    void saveJoinOption();
    void checkNumberField(QLineEdit *field, const QFocusEvent *event);
    // Where the output-folder browser opens.
    QString outputBrowserStart() const;

    // Start-up steps that restore the settings (app/form1_settings.cpp). A field or option
    // gets the stored text of its key, or the default when the key is absent; a stored option
    // that is neither True, False nor a number throws AppError and leaves the option as it was.
    void restoreText(QLineEdit *field, const QString &key, const QString &defaultText);
    void addBitrateItems(GuardedSteps &steps);
    void restoreCombo1();
    void restoreOption(QRadioButton *option, const QString &key, const QString &defaultText);
    void enableFrame1FromOption1();

    // Appends the files of the folder and of all folders below it that match the pattern,
    // ignoring input to the window meanwhile (filelist/form1_adding.cpp); the rows added.
    // leftOut gains the paths the scan left out because their names are not valid UTF-8, and
    // counts the previews it left out: files carrying Lumbrisk's mark are no songs.
    struct ScanLeftOut {
        QList<QByteArray> badNames;
        qsizetype previews = 0;
    };
    int addFolderScan(const QString &folder, const QString &pattern, ScanLeftOut &leftOut);
    // Tells once, after a scan, what it left out and why.
    void tellLeftOut(const ScanLeftOut &leftOut);
    void tellBadNamesLeftOut(const QList<QByteArray> &leftOut);

    // --- Reordering, removing and sample files (filelist/form1_reordering.cpp,
    // filelist/form1_samples.cpp) ---
    // Steps 100-104 of both move buttons: the selected row, or 0 when the window is busy,
    // the list is empty or no row is selected (nothing to move then).
    int rowToMove(GuardedSteps &steps);
    void removeSelectedRow();
    void showDragPointer();
    // listLine: the pointer's line in the list (0 at the list's top edge).
    void exchangeDragRowWithHoverRow(int listLine);
    void scrollBesideHoverRow(int listLine);
    void LoadSamples();

    // Drag state of the list. The row references follow their rows as others come and go,
    // and become invalid (no row) when their own row leaves the list.
    bool Dragging = false;          // from a press in the list to the next release there
    QPersistentModelIndex DragRow;  // the row holding the dragged text
    QPersistentModelIndex HoverRow; // the row under the pointer during one movement
    // --- end of reordering and sample files ---

    Prompts *m_prompts;
    SettingsStore *m_settings;
    QString m_programFolder;
    std::function<void()> m_endProgram;
    std::function<void()> m_stopJob; // set while a preview job runs
    std::unique_ptr<SkinFramework> m_skin;

    bool m_busy = false;
    Pointer m_pointer = Pointer::Default;
    QCursor m_customCursor;
    bool m_customPointerLoaded = false;
    bool m_returningFocus = false; // a number check puts the focus back into its field
    QString m_applicationTitle;
};
