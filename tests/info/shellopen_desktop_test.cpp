// The launcher on a real desktop: the program's own toolkit hands the address to the desktop's
// opener, which starts the handler registered for it. Our handler, registered in a private
// XDG home, writes the address it is given to a file.
#include "info/aap.h"
#include "info/maker.h"
#include "platform/qttoolkit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class ShellOpenDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void theRegisteredHandlerGetsTheAddress();

private:
    bool write(const QString& name, const QByteArray& contents) {
        QFile file(home_.filePath(name));
        return QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly) &&
               file.write(contents) == contents.size();
    }

    QTemporaryDir home_;
};

void ShellOpenDesktopTest::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        QSKIP("xdg-open is missing (package xdg-utils)");
    // Only a platform with desktop services opens anything; "offscreen" has none.
    QVERIFY2(QGuiApplication::platformName() == QStringLiteral("xcb"),
             "run under an X server (xvfb-run) with QT_QPA_PLATFORM=xcb");

    // Written whole, then renamed, so the test never reads half an address.
    const QByteArray received = home_.filePath(QStringLiteral("received")).toUtf8();
    QVERIFY(write("handler.sh", "#!/bin/sh\nprintf '%s' \"$1\" > '" + received + ".part' && mv '" +
                                    received + ".part' '" + received + "'\n"));
    QVERIFY(QFile::setPermissions(home_.filePath("handler.sh"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(write("data/applications/dm-probe.desktop",
                  "[Desktop Entry]\nType=Application\nName=Probe\nExec=" +
                      home_.filePath("handler.sh").toUtf8() +
                      " %u\nMimeType=x-scheme-handler/https;x-scheme-handler/mailto;\n"));
    QVERIFY(write("config/mimeapps.list", "[Default Applications]\n"
                                          "x-scheme-handler/https=dm-probe.desktop\n"
                                          "x-scheme-handler/mailto=dm-probe.desktop\n"));
    qputenv("XDG_DATA_HOME", home_.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home_.filePath(QStringLiteral("config")).toUtf8());
    // Without a desktop session the opener takes its generic way, the one under test; a
    // browser named in the environment would be asked before the registered handler.
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                             "GNOME_DESKTOP_SESSION_ID", "BROWSER", "DEFAULT_BROWSER"})
        qunsetenv(name);
}

void ShellOpenDesktopTest::theRegisteredHandlerGetsTheAddress() {
    const std::string magazine(maker::MagazineTarget);
    const std::string mail = "mailto:" + std::string(maker::EMail);
    const std::pair<std::string, std::string> cases[] = {{magazine, "https://" + magazine},
                                                         {mail, mail}};
    platform::QtToolkit toolkit;
    QFile received(home_.filePath(QStringLiteral("received")));
    for (const auto& [target, expected] : cases) {
        received.remove();
        AAP::ShellOpen(toolkit, nullptr, target, platform::ShowNormal);
        QTRY_VERIFY_WITH_TIMEOUT(received.exists(), 30000);
        QVERIFY(received.open(QIODevice::ReadOnly));
        QCOMPARE(received.readAll().toStdString(), expected);
        received.close();
    }
}

QTEST_MAIN(ShellOpenDesktopTest)
#include "shellopen_desktop_test.moc"
