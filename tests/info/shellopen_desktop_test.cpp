// The launcher on a real desktop: the program's own toolkit hands the address to the desktop's
// opener, which starts the handler registered for it in a private XDG home. Our handler
// writes the address it is given to a file.
#include "info/aap.h"
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
    void theRegisteredHandlerGetsTheAddress();
};

void ShellOpenDesktopTest::theRegisteredHandlerGetsTheAddress() {
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        QSKIP("xdg-open is missing (package xdg-utils)");
    // Only a platform with desktop services opens anything; "offscreen" has none.
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));

    QTemporaryDir home;
    const QString received = home.filePath(QStringLiteral("received"));
    const auto write = [&](const QString& name, const QString& contents) {
        QFile file(home.filePath(name));
        return QDir(home.path()).mkpath(QFileInfo(name).path()) &&
               file.open(QIODevice::WriteOnly) && file.write(contents.toUtf8()) > 0 &&
               file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    // Written whole, then renamed, so that the test never reads half an address.
    QVERIFY(write("handler.sh", "#!/bin/sh\nprintf '%s' \"$1\" > '" + received + ".part' && mv '" +
                                    received + ".part' '" + received + "'\n"));
    QVERIFY(
        write("data/applications/dm-probe.desktop",
              "[Desktop Entry]\nType=Application\nName=Probe\nExec=" + home.filePath("handler.sh") +
                  " %u\nMimeType=x-scheme-handler/https;x-scheme-handler/mailto;\n"));
    QVERIFY(write("config/mimeapps.list", "[Default Applications]\n"
                                          "x-scheme-handler/https=dm-probe.desktop\n"
                                          "x-scheme-handler/mailto=dm-probe.desktop\n"));
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    // Without a desktop session the opener takes its generic way, the one under test; a
    // browser named in the environment would be asked before the registered handler.
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                             "GNOME_DESKTOP_SESSION_ID", "BROWSER", "DEFAULT_BROWSER"})
        qunsetenv(name);

    platform::QtToolkit toolkit;
    const std::pair<std::string, std::string> cases[] = {
        {"www.quarn.example.net/quarn/", "https://www.quarn.example.net/quarn/"},
        {"mailto:tilman@brenner.example.org", "mailto:tilman@brenner.example.org"}};
    for (const auto& [target, expected] : cases) {
        QFile::remove(received);
        AAP::ShellOpen(toolkit, target, platform::ShowNormal);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(received), 30000);
        QFile file(received);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().toStdString(), expected);
    }
}

QTEST_MAIN(ShellOpenDesktopTest)
#include "shellopen_desktop_test.moc"
