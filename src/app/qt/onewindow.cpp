#include "app/qt/onewindow.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QGuiApplication>

namespace qtkit {

namespace {

const QString ObjectPath = QStringLiteral("/Dateimark");
const QString Interface = QStringLiteral("org.example.Dateimark");

// Names travel as byte arrays ("aay"), which the bus knows only once told.
void registerTypes() {
    static const QMetaType once = qDBusRegisterMetaType<QList<QByteArray>>();
    (void)once;
}

} // namespace

QString OneWindow::serviceName() {
    // The display the window opens on, as the bus name allows it: letters, digits, "_".
    QByteArray display = qgetenv("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qgetenv("DISPLAY");
    QString part = QStringLiteral("on_");
    for (const char c : display)
        part += QChar::isLetterOrNumber(uchar(c)) && uchar(c) < 128 ? QChar(c) : QChar('_');
    return Interface + QLatin1Char('.') + part;
}

OneWindow::Handed OneWindow::handOver(const std::vector<filelist::PathString>& names,
                                      const std::vector<std::string>& refusedShares) {
    registerTypes();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(serviceName()))
        return Handed::NoWindow;
    QList<QByteArray> byteNames;
    for (const auto& n : names)
        byteNames.append(QByteArray::fromStdString(n));
    QStringList refused;
    for (const auto& r : refusedShares)
        refused.append(QString::fromStdString(r));
    QDBusMessage call =
        QDBusMessage::createMethodCall(serviceName(), ObjectPath, Interface, "HandOver");
    call << QVariant::fromValue(byteNames) << refused;
    // The window answers from its event loop; a drop being entered yields to it often.
    const QDBusReply<bool> reply = bus.call(call, QDBus::Block, 10'000);
    if (!reply.isValid())
        return Handed::NoWindow;
    return reply.value() ? Handed::Taken : Handed::Refused;
}

bool OneWindow::own(Take take, std::function<void()> toFront) {
    take_ = std::move(take);
    toFront_ = std::move(toFront);
    registerTypes();
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The object first: once the name is ours, a later start may call it at once.
    return bus.isConnected() &&
           bus.registerObject(ObjectPath, this, QDBusConnection::ExportAllSlots) &&
           bus.registerService(serviceName());
}

bool OneWindow::HandOver(const QList<QByteArray>& names, const QStringList& refusedShares) {
    if (names.isEmpty() && refusedShares.isEmpty()) { // started again without names
        if (toFront_)
            toFront_();
        return true;
    }
    std::vector<filelist::PathString> taken;
    for (const QByteArray& n : names)
        taken.push_back(n.toStdString());
    std::vector<std::string> refused;
    for (const QString& r : refusedShares)
        refused.push_back(r.toStdString());
    const bool ok = take_ && take_(std::move(taken), std::move(refused));
    if (ok && toFront_)
        toFront_();
    return ok;
}

} // namespace qtkit
