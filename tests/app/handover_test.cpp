// The program started from a file manager: its options, and a later start that hands its names
// to the window of the first over a private session bus (run under dbus-run-session).
#include "app/qt/onewindow.h"
#include "support/windowfixture.h"

class HandOverTest : public QObject {
    Q_OBJECT

    static QProcess* start(const QStringList& args) {
        auto* p = new QProcess;
        p->start(QStringLiteral(DATEIMARK_BIN), args);
        return p;
    }

private slots:
    void optionsAnswerAndEndWithoutAWindow() {
        const struct {
            QStringList args;
            int status;
            const char* says; // on stdout, or stderr for a refusal
        } cases[] = {
            {{"--help"}, 0, "Aufruf: dateimark [NAME …]"},
            {{"--version"}, 0, "Dateimark 2.5\n"},
            {{"-x", "datei"}, 2, "unbekannte Option „-x“"},
        };
        for (const auto& c : cases) {
            std::unique_ptr<QProcess> p(start(c.args));
            QVERIFY(p->waitForFinished(20'000));
            QCOMPARE(p->exitCode(), c.status);
            const QByteArray out =
                c.status ? p->readAllStandardError() : p->readAllStandardOutput();
            QVERIFY2(out.contains(c.says), out.constData());
        }
    }

    void aLaterStartHandsItsNamesToTheFirstWindow() {
        WindowFixture f;
        qtkit::OneWindow one;
        bool fronted = false;
        QVERIFY(one.own(
            [&](auto names, auto refused) {
                return f.window.logic().HandOver(std::move(names), std::move(refused));
            },
            [&] { fronted = true; }));
        const fs::path a = f.file("a.txt"), b = f.file("b c.txt");
        // A path, a URI with an escaped blank, a name that is not there.
        const QStringList args{QString::fromStdString(a.native()),
                               "file://" +
                                   QUrl::toPercentEncoding(QString::fromStdString(b.native()), "/"),
                               QString::fromStdString((f.root() / "weg.txt").native())};
        std::unique_ptr<QProcess> later(start(args));
        QTRY_VERIFY_WITH_TIMEOUT(later->state() == QProcess::NotRunning, 20'000);
        QCOMPARE(later->exitCode(), 0);
        QTRY_VERIFY((f.toolkit.runLater(), f.rows() == 2));
        QVERIFY(fronted);
        QCOMPARE(f.panel(2), QString::fromUtf8("Eintragung beendet (1 Eintrag übersprungen)"));
    }
};

QTEST_MAIN(HandOverTest)
#include "handover_test.moc"
