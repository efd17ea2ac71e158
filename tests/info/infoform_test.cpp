// The info dialog: its texts, its modality, which controls close it and what the links open.
#include "info/infoform.h"

#include "info/maker.h"
#include "platform/qttoolkit.h"
#include "support/recordingtoolkit.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

const QString Name = QStringLiteral("Dateimark 2.5");
const QString Description =
    QStringLiteral("Ein Tool zum Setzen und Löschen von Dateiattributen für Windows 9x und NT4.0.");

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QPushButton* button(QWidget& dialog, int index) {
    return dialog.findChild<QPushButton*>(QStringLiteral("Btn%1").arg(index));
}

int twipsToPixels(int twips, int dpi) {
    return qRound(twips * dpi / 1440.0);
}

} // namespace

class InfoFormTest : public QObject {
    Q_OBJECT

private slots:
    void textFollowsTheStepsAndRepeatsOnTheSecondShowing();
    void blocksTheMainWindowWhileOpen();
    void onlyTheCloseButtonAndTheCloseBoxCloseIt();
    void designSizeTabOrderAndHints();
};

void InfoFormTest::textFollowsTheStepsAndRepeatsOnTheSecondShowing() {
    RecordingToolkit toolkit;
    InfoForm form(toolkit);
    QStringList captions, shown;
    toolkit.onModal = [&](QDialog& dialog) {
        captions << dialog.windowTitle();
        shown << dialog.findChild<QLabel*>(QStringLiteral("Label0"))->text();
    };
    form.main(Name, Description);
    const QString first = form.text();
    form.main(Name, Description);

    QCOMPARE(captions, QStringList({"Info über Dateimark 2.5", "Info über Dateimark 2.5"}));
    QCOMPARE(form.text(), first);
    // Lines end in a lone carriage return, which the label shows as a line break.
    QVERIFY(!first.contains(QLatin1Char('\n')));
    QCOMPARE(shown.at(0), QString(first).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    QCOMPARE(shown.at(1), shown.at(0));

    QStringList lines = first.split(QLatin1Char('\r'));
    QCOMPARE(lines.size(), 14);
    // Our own wording of the terms and the registration, checked for what it must say.
    QVERIFY(lines[4].startsWith(Name + " ") && lines[4].contains("kostenlos"));
    QVERIFY(lines[5].contains("freiwillig") && !lines[5].contains(Name));
    lines[4] = lines[5] = QString();
    const QString bullet = QStringLiteral("  • ");
    QCOMPARE(lines, QStringList(
                        {Name + " – " + Description, "", fromUtf8(maker::Notice), "", "", "", "",
                         "Als registrierter Anwender von " + Name + " erhalten Sie:",
                         bullet + "kostenlose Sonderversionen mit Zusatzfunktionen (soweit "
                                  "vorliegend),",
                         bullet + "Updates direkt an Ihre E-Mail-Adresse am Tag des Erscheinens,",
                         bullet + "schnellstmöglichen Support per E-Mail bei Fragen oder Problemen",
                         bullet +
                             "und nicht zuletzt unterstützen Sie durch Ihren finanziellen "
                             "Beitrag auch die Weiterentwicklung von " +
                             Name + " – was Ihnen im Endeffekt wiederum selbst zugute kommt ...",
                         "",
                         "Verbesserungsvorschläge sind mir gerne willkommen. Weitere "
                         "interessante Tools/Infos finden Sie auf meiner Web-Site unter " +
                             fromUtf8(maker::WebAddress)}));
    QCOMPARE(first.count(Name), 4);

    // The name comes from the argument alone.
    form.main(QStringLiteral("Probe 9.9"), QStringLiteral("Beschreibung."));
    QCOMPARE(form.windowTitle(), QStringLiteral("Info über Probe 9.9"));
    QCOMPARE(form.text().count(QStringLiteral("Probe 9.9")), 4);
    QVERIFY(!form.text().contains(QStringLiteral("Dateimark"), Qt::CaseInsensitive));
}

void InfoFormTest::blocksTheMainWindowWhileOpen() {
    QWidget mainWindow;
    auto* start = new QPushButton(QStringLiteral("&Start"), &mainWindow);
    int clicks = 0;
    connect(start, &QPushButton::clicked, [&] { ++clicks; });
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    // Through the window system, as a user clicks; a click sent to the widget itself would
    // pass any modal dialog by.
    const auto clickStart = [&] {
        QTest::mouseClick(mainWindow.windowHandle(), Qt::LeftButton, {},
                          start->geometry().center());
    };

    platform::QtToolkit toolkit;
    InfoForm form(toolkit, &mainWindow);
    bool modal = false;
    QTimer::singleShot(0, &form, [&] {
        modal = QApplication::activeModalWidget() == &form;
        clickStart();
        button(form, 3)->click();
    });
    form.main(Name, Description);

    QVERIFY(modal);
    QCOMPARE(clicks, 0);
    clickStart();
    QCOMPARE(clicks, 1);
}

void InfoFormTest::onlyTheCloseButtonAndTheCloseBoxCloseIt() {
    const auto press = [](QDialog& dialog, int index, Qt::Key key) {
        button(dialog, index)->setFocus();
        QTest::keyClick(button(dialog, index), key);
    };
    const struct {
        const char* what;
        std::function<void(QDialog&)> action;
        bool closes;
    } cases[] = {
        {"e-mail link", [](QDialog& d) { QTest::mouseClick(button(d, 0), Qt::LeftButton); }, false},
        {"news link", [](QDialog& d) { QTest::mouseClick(button(d, 1), Qt::LeftButton); }, false},
        {"register link", [](QDialog& d) { QTest::mouseClick(button(d, 2), Qt::LeftButton); },
         false},
        {"Escape", [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, false},
        {"Escape on a button", [&](QDialog& d) { press(d, 2, Qt::Key_Escape); }, false},
        {"Enter on a link", [&](QDialog& d) { press(d, 1, Qt::Key_Return); }, false},
        {"close button", [](QDialog& d) { QTest::mouseClick(button(d, 3), Qt::LeftButton); }, true},
        {"Enter on the close button", [&](QDialog& d) { press(d, 3, Qt::Key_Return); }, true},
        {"Alt+S", [](QDialog& d) { QTest::keyClick(&d, Qt::Key_S, Qt::AltModifier); }, true},
        {"close box", [](QDialog& d) { d.close(); }, true},
    };

    RecordingToolkit toolkit;
    InfoForm form(toolkit);
    for (const auto& c : cases) {
        bool closed = false;
        toolkit.onModal = [&](QDialog& dialog) {
            dialog.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            c.action(dialog);
            // An access key presses its button visibly, a moment later.
            closed = QTest::qWaitFor([&] { return !dialog.isVisible(); }, 300);
        };
        form.main(Name, Description);
        QVERIFY2(closed == c.closes, c.what);
    }

    const std::string web = "https://" + std::string(maker::WebAddress);
    std::vector<std::string> targets;
    for (const RecordedOpen& open : toolkit.opened) {
        targets.push_back(open.target);
        QCOMPARE(open.showCommand, platform::ShowNormal);
    }
    QCOMPARE(targets,
             std::vector<std::string>({"mailto:" + std::string(maker::EMail), web + "/new.htm",
                                       web + "/register", web + "/new.htm"}));
}

void InfoFormTest::designSizeTabOrderAndHints() {
    RecordingToolkit toolkit;
    InfoForm form(toolkit);
    const QSize client(twipsToPixels(9390, form.logicalDpiX()),
                       twipsToPixels(6405, form.logicalDpiY()));
    QCOMPARE(form.maximumSize(), client);
    for (QWidget* child : form.findChildren<QWidget*>())
        QVERIFY2(form.rect().contains(child->geometry()), qPrintable(child->objectName()));

    // Tab runs Btn0 to Btn3 and round again; the labels and the picture take no focus.
    QStringList chain;
    QWidget* at = button(form, 0);
    do {
        if (at->focusPolicy() != Qt::NoFocus)
            chain << at->objectName();
        at = at->nextInFocusChain();
    } while (at != button(form, 0));
    QCOMPARE(chain, QStringList({"Btn0", "Btn1", "Btn2", "Btn3"}));

    // Each link's hint names where it leads.
    QVERIFY(button(form, 0)->toolTip().endsWith(" an " + fromUtf8(maker::EMail)));
    QVERIFY(button(form, 1)->toolTip().endsWith(" " + fromUtf8(maker::WebAddress) + "/new.htm"));
    QVERIFY(button(form, 2)->toolTip().contains(" " + fromUtf8(maker::WebAddress) + "/register"));
    QCOMPARE(button(form, 3)->toolTip(), QStringLiteral("... bringt Sie zurück zum Programm"));
}

QTEST_MAIN(InfoFormTest)
#include "infoform_test.moc"
