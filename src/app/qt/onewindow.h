// One window for a user on a display: the first start owns a name on the session bus, a later
// start hands its names to that window over the bus and ends. Without a session bus each start
// opens its own window.
#pragma once

#include "filelist/urilist.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

namespace qtkit {

class OneWindow : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.example.Dateimark")

public:
    /// Takes names handed over; false while they cannot be taken ("&Start" runs).
    using Take = std::function<bool(std::vector<filelist::PathString>, std::vector<std::string>)>;
    enum class Handed { NoWindow, Taken, Refused };

    /// A later start: hands \p names to the window that runs, if one does.
    static Handed handOver(const std::vector<filelist::PathString>& names,
                           const std::vector<std::string>& refusedShares);

    /// The first start: owns the name, so that later starts find this window. false without a
    /// session bus or when another start took the name first.
    bool own(Take take, std::function<void()> toFront);

    /// The bus's name for this user's window on this display.
    static QString serviceName();

public slots:
    // On the bus: names as bytes (a name need not be UTF-8), refused share addresses as text.
    bool HandOver(const QList<QByteArray>& names, const QStringList& refusedShares);

private:
    Take take_;
    std::function<void()> toFront_;
};

} // namespace qtkit
