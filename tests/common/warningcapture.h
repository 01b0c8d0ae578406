#ifndef WARNINGCAPTURE_H
#define WARNINGCAPTURE_H

// Collects the warnings written while it lives; any thread may write.

#include <QtCore/qlogging.h>
#include <QtCore/qmutex.h>
#include <QtCore/qstringlist.h>

class WarningCapture
{
public:
    WarningCapture() { s_current = this; m_previous = qInstallMessageHandler(handler); }
    ~WarningCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    WarningCapture(const WarningCapture &) = delete;
    WarningCapture &operator=(const WarningCapture &) = delete;

    QStringList warnings() const
    {
        QMutexLocker locker(&m_mutex);
        return m_warnings;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        // The offscreen platform complains about every dialog it shows.
        if (type != QtWarningMsg || !s_current || message.contains(QLatin1String("propagateSizeHints")))
            return;
        QMutexLocker locker(&s_current->m_mutex);
        s_current->m_warnings.append(message);
    }

    static inline WarningCapture *s_current = nullptr;
    QtMessageHandler m_previous;
    mutable QMutex m_mutex;
    QStringList m_warnings;
};

#endif // WARNINGCAPTURE_H
