// The help page beside the program, also started through a link, and the URLs handed on.
#include "app/shellopen.h"
#include "info/programfolder.h"
#include "support/recordingtoolkit.h"

#include <QTest>
#include <QtCore>

class LauncherTest : public QObject {
    Q_OBJECT

private slots:
    void helpPageLiesBesideTheProgram() {
        QFile copy(QStringLiteral(DATEIMARK_PROGRAM_DIR "/dateimark.htm"));
        QFile original(QStringLiteral(DATEIMARK_SOURCE_DIR "/assets/dateimark.htm"));
        QVERIFY(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), original.readAll());

        // What the toolkit gets, it parses strictly: a URL it rejected would open nothing.
        RecordingToolkit toolkit;
        const std::string help = info::ProgramFolder() + "dateimark.htm";
        QCOMPARE(QString::fromStdString(help),
                 QCoreApplication::applicationDirPath() + "/dateimark.htm");
        for (const std::string& path :
             {help, std::string("/home/jörg/Meine Dateien/#1?%[a]@b;c=d+e&f.htm")}) {
            shell::ShellOpenDefault(toolkit, path);
            const QUrl url(QString::fromStdString(toolkit.opened.back().target), QUrl::StrictMode);
            QCOMPARE(url.toLocalFile(), QString::fromStdString(path));
            QCOMPARE(toolkit.opened.back().showCommand, app::ShowDefault);
        }
    }

    void programFolderIsFoundThroughALink() {
        // Installed, the program is started through bin/dateimark, a link into lib/dateimark/.
        QTemporaryDir elsewhere;
        const QString probe = QStringLiteral(DATEIMARK_PROBE), link = elsewhere.filePath("probe");
        QVERIFY(QFile::link(probe, link));
        QProcess run;
        run.start(link, {});
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(run.readAllStandardOutput()),
                 QFileInfo(probe).canonicalPath() + "/");
    }
};

QTEST_MAIN(LauncherTest)
#include "launcher_test.moc"
