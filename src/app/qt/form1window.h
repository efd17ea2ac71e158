// The main window on Qt: builds the controls from the control table, carries out the control
// operations of the window's logic, and turns Qt's events into calls of it. What only Qt knows
// stays here: the item model over the rows, the list's gestures, the drop data, accessibility.
#pragma once

#include "app/form1.h"
#include "app/formcontrols.h"

#include <QWidget>

#include <map>
#include <memory>
#include <utility>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;

class InfoForm;

namespace qtkit {
class QtToolkit;
}
namespace filelist {
class FileListModel;
class Liste;
} // namespace filelist

namespace app {

class StatusPanel;

class Form1Window : public QWidget, public FormControls {
    Q_OBJECT
public:
    /// Builds the window and runs its start-up.
    explicit Form1Window(qtkit::QtToolkit& toolkit, QWidget* parent = nullptr);
    ~Form1Window() override;

    Form1& logic() { return *logic_; }

    // The controls, by their names and indexes.
    filelist::Liste* Liste() const { return liste_; }
    filelist::FileListModel& model() const { return *model_; }
    QPushButton* Btn(int index) const;
    QCheckBox* AttribChk(int index) const;
    QLineEdit* DateTime(int index) const;
    QCheckBox* TouchChk() const;
    QCheckBox* ToolTipCheck() const;
    QProgressBar* Bar() const;
    StatusPanel* Panel(int index) const { return index == 1 ? panel1_ : panel2_; }
    QGroupBox* Frame1() const;

    /// Pixels for a length in twips on this screen.
    int px(int twips) const;

    /// What the list hands over of a drop: the names of its URI list.
    void Liste_OLEDragDrop(const QMimeData& data);

    // The control operations.
    void setCaption(const std::string& text) override;
    void setPointer(Pointer pointer) override;
    void endProgram() override;
    void showInfo(const std::string& name, const std::string& description) override;
    void enable(Ctl control, int index, bool enabled) override;
    void setValue(Ctl control, int index, Tri value) override;
    void setText(Ctl control, int index, const std::string& text) override;
    void selectAll(Ctl control, int index) override;
    void focus(Ctl control, int index) override;
    void setFieldColour(Ctl control, int index, bool inUse) override;
    void setHint(Ctl control, int index, const std::string& text) override;
    void setBarMax(int max) override;
    void setBarValue(int value) override;
    void repaintProgress() override;
    void listRowsInserted() override;
    void listRowsChanged() override;
    void listReset() override;
    void listSetCurrent(std::size_t position) override;
    void listShowSortIndicator(int key, int order) override;
    void listAcceptDrops(bool accept) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    QWidget* control(Ctl control, int index) const;
    QWidget* named(std::string_view name, int index = -1) const;

    qtkit::QtToolkit& toolkit_;
    double scale_ = 1.0;
    std::unique_ptr<Form1> logic_;
    std::unique_ptr<filelist::FileListModel> model_;
    std::map<std::pair<std::string, int>, QWidget*> controls_;
    filelist::Liste* liste_ = nullptr;
    StatusPanel* panel1_ = nullptr;
    StatusPanel* panel2_ = nullptr;
    std::unique_ptr<InfoForm> infoForm_;
};

} // namespace app
