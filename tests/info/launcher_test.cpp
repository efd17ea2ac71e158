// The launcher through the toolkit seam: the URLs it hands on, the show commands, and the help
// page beside the program.
#include "info/aam.h"
#include "info/aap.h"
#include "info/maker.h"
#include "support/recordingtoolkit.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

class LauncherTest : public QObject {
    Q_OBJECT

private slots:
    void passesTheUrlAndTheShowCommand();
    void fileUrlsSurviveTheToolkitsStrictParsing();
    void helpPageLiesBesideTheProgram();
    void programFolderIsFoundThroughALink();
};

void LauncherTest::passesTheUrlAndTheShowCommand() {
    RecordingToolkit toolkit;
    QWidget owner;
    AAP::ShellOpen(toolkit, &owner, std::string(maker::MagazineTarget), platform::ShowNormal);
    AAP::ShellOpenDefault(toolkit, &owner, "/opt/dateimark/dateimark.htm");

    QCOMPARE(toolkit.opened.size(), size_t(2));
    QCOMPARE(toolkit.opened[0].target, "https://" + std::string(maker::MagazineTarget));
    QCOMPARE(toolkit.opened[0].showCommand, platform::ShowNormal);
    QCOMPARE(toolkit.opened[1].target, std::string("file:///opt/dateimark/dateimark.htm"));
    QCOMPARE(toolkit.opened[1].showCommand, platform::ShowDefault);
}

void LauncherTest::fileUrlsSurviveTheToolkitsStrictParsing() {
    // The real toolkit parses what it gets in strict mode; a URL it rejected would open nothing.
    for (const QString path :
         {"/home/jörg/Meine Dateien/hilfe.htm", "/tmp/a#b?c%d[e]@f;g=h+i&j.htm"}) {
        RecordingToolkit toolkit;
        AAP::ShellOpenDefault(toolkit, nullptr, path.toStdString());
        const QUrl url(QString::fromStdString(toolkit.opened.at(0).target), QUrl::StrictMode);
        QVERIFY2(url.isValid(), qPrintable(url.errorString()));
        QCOMPARE(url.toLocalFile(), path);
    }
}

void LauncherTest::helpPageLiesBesideTheProgram() {
    QFile copy(QStringLiteral(DATEIMARK_PROGRAM_DIR "/dateimark.htm"));
    QFile original(QStringLiteral(DATEIMARK_SOURCE_DIR "/assets/dateimark.htm"));
    QVERIFY2(copy.open(QIODevice::ReadOnly), qPrintable(copy.fileName()));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), original.readAll());

    // The help command's target: the program folder and the page's name, one separator apart.
    RecordingToolkit toolkit;
    AAP::ShellOpenDefault(toolkit, nullptr, AAM::ProgramFolder() + "dateimark.htm");
    const QUrl url(QString::fromStdString(toolkit.opened.at(0).target), QUrl::StrictMode);
    QCOMPARE(url.toLocalFile(), QCoreApplication::applicationDirPath() + "/dateimark.htm");
}

void LauncherTest::programFolderIsFoundThroughALink() {
    // Installed, the program is started through bin/dateimark, a link into lib/dateimark/.
    QTemporaryDir elsewhere;
    const QString probe = QStringLiteral(DATEIMARK_PROBE);
    const QString link = elsewhere.filePath(QStringLiteral("probe"));
    QVERIFY(QFile::link(probe, link));

    QProcess run;
    run.start(link, {});
    QVERIFY(run.waitForFinished(30000));
    QCOMPARE(QString::fromUtf8(run.readAllStandardOutput()),
             QFileInfo(probe).canonicalPath() + "/");
}

QTEST_MAIN(LauncherTest)
#include "launcher_test.moc"
