#include "announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace {

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
const QLatin1String noticeName("spokenNotice");

QAccessibleInterface *noticeAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("QWidget") && object && object->objectName() == noticeName)
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
    return nullptr;
}

QWidget *newNotice(QWidget *window)
{
    auto *notice = new QWidget(window);
    notice->setObjectName(noticeName);
    notice->setFocusPolicy(Qt::NoFocus);
    notice->setAttribute(Qt::WA_TransparentForMouseEvents);
    notice->setGeometry(0, 0, 0, 0);
    notice->hide();
    // Qt keeps the accessibility it first made for a widget, which may have
    // been before the widget had its name.
    if (QAccessibleInterface *made = QAccessible::queryAccessibleInterface(notice);
        made && made->role() != QAccessible::Notification)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    return notice;
}
#endif

} // namespace

Announcer::Announcer(QWidget *window, QObject *parent) : QObject(parent), window(window)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    static const bool installed = (QAccessible::installFactory(noticeAccessible), true);
    Q_UNUSED(installed);
    notice = newNotice(window);
#endif
}

void Announcer::say(const QString &text)
{
    if (text.isEmpty())
        return;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent announcement(window, text);
    QAccessible::updateAccessibility(&announcement);
#else
    // Its name is what Orca reads when it is shown.
    notice->hide();
    notice->setAccessibleName(text);
    notice->show();
#endif
    Q_EMIT said(text);
}
