// The main window: every control of the program, its operations and its event handlers.
#pragma once

#include "filelist/rowstore.h"

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;
class QStatusBar;

class InfoForm;

namespace platform {
class Toolkit;
}
namespace filelist {
class FileListModel;
class Liste;
} // namespace filelist

namespace app {

class StatusPanel;
class ClickablePicture;
class AttribBox;

/// The program's title and description.
inline constexpr const char* ProgramTitle = "Dateimark 2.5";
inline constexpr const char* ProgramDescription =
    "Ein Tool zum Setzen und Löschen von Dateiattributen für Windows 9x und NT4.0.";

class Form1 : public QWidget {
    Q_OBJECT
public:
    /// Builds the window and runs its start-up (Form_Load).
    explicit Form1(platform::Toolkit& toolkit, QWidget* parent = nullptr);
    ~Form1() override;

    // The window's operations.
    void ChkSituation();
    void InitDateTime();
    void ClearAllSelectedItems();
    void ListeSelect(std::int16_t mode);
    void SetNewAttributes();
    void LoadToolTips(std::int16_t on);
    void UserInfo(const QString& text);
    void AddToList(const filelist::PathString& path);
    void UserInfoLeereListe();

    // Event handlers.
    void Btn_Click(int index);
    void Liste_Click();
    void Liste_ColumnClick(int column);
    /// Takes the names from the drop data and enters them once the drop event has returned, so
    /// that the file manager is released at once.
    void Liste_OLEDragDrop(const QMimeData& data);
    /// Enters dropped names, in their order, at once; folders are expanded.
    void DropNames(std::vector<filelist::PathString> names);
    void DateTime_GotFocus(int index);
    void DateTime_LostFocus(int index);
    void TouchChk_Click();
    void ToolTipCheck_Click();
    void LogoImage_Click();

    // The controls, by their names and indexes.
    filelist::Liste* Liste() const { return liste_; }
    filelist::FileListModel& model() const { return *model_; }
    QPushButton* Btn(int index) const;
    AttribBox* AttribChk(int index) const { return attribChk_.at(std::size_t(index - 1)); }
    QLineEdit* DateTime(int index) const { return dateTime_.at(std::size_t(index)); }
    QCheckBox* TouchChk() const { return touchChk_; }
    QCheckBox* ToolTipCheck() const { return toolTipCheck_; }
    QProgressBar* Bar() const { return bar_; }
    QStatusBar* Status() const { return status_; }
    StatusPanel* Panel(int index) const { return index == 1 ? panel1_ : panel2_; }
    QGroupBox* Frame1() const { return frame1_; }

    std::int16_t AddCounter() const { return addCounter_; }
    std::int16_t LastSortColumn() const { return lastSortColumn_; }
    bool dropRunning() const { return dropping_; }

    /// Pixels for a length in twips on this screen.
    int px(int twips) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void setTabOrderChain();
    void Form_Load();
    void place(QWidget* w, int left, int top, int width, int height);
    void widenToCaption(QWidget* w, int rightLimitTwips);
    // Adds one entry; \p isFolder is known for entries found by the folder expansion.
    void addEntry(const filelist::PathString& path, std::optional<bool> isFolder);
    void noteSkipped(const filelist::PathString& path, std::error_code ec);
    void yieldDuringDrop();
    void enterDroppedName(filelist::PathString name);
    void refocus(int index);
    void showProgress(bool force);

    platform::Toolkit& toolkit_;
    double scale_ = 1.0;
    std::unique_ptr<filelist::FileListModel> model_;
    filelist::Liste* liste_ = nullptr;
    std::map<int, QPushButton*> btn_;
    std::array<AttribBox*, 4> attribChk_{};
    std::array<QLineEdit*, 6> dateTime_{};
    QCheckBox* touchChk_ = nullptr;
    QCheckBox* toolTipCheck_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QStatusBar* status_ = nullptr;
    StatusPanel* panel1_ = nullptr;
    StatusPanel* panel2_ = nullptr;
    QGroupBox* frame1_ = nullptr;
    QGroupBox* frame2_ = nullptr;
    std::array<QFrame*, 2> frame3_{};
    std::array<QLabel*, 2> label1_{};
    ClickablePicture* logoImage_ = nullptr;
    std::unique_ptr<InfoForm> infoForm_;

    std::int16_t addCounter_ = 0;
    std::int16_t lastSortColumn_ = 0;
    bool dropping_ = false;
    bool ending_ = false;
    std::size_t skipped_ = 0;
    QElapsedTimer sincePublish_;
    QElapsedTimer sinceRepaint_;
};

} // namespace app
