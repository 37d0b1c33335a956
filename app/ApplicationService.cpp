#include "ApplicationService.h"

#include <QDBusMessage>
#include <QUrl>

#include "Form1.h"
#include "Module1.h"
#include "Texts.h"
#include "targets/UriList.h"

namespace rowtick {

namespace {

// RequestName's flags: none, so that a window opened while another holds the
// name waits in line for it and takes it over when that one closes.
constexpr uint kQueue = 0;

}  // namespace

ApplicationService::ApplicationService(Form1& window) : QObject(&window), window_(window)
{
    connect(&window_, &Form1::countEnded, this, &ApplicationService::appendWaiting);
}

ApplicationService::~ApplicationService()
{
    if (!published_)
        return;
    // Once unregistered, the bus's thread no longer reaches this object.
    published_->unregisterObject(QString::fromLatin1(kObjectPath));
    QDBusMessage release = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReleaseName"));
    release << QStringLiteral(ROWTICK_APP_ID);
    published_->send(release);
}

void ApplicationService::publish(QDBusConnection bus)
{
    if (!bus.isConnected())
        return;
    bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAllSlots);
    published_ = bus;
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    request << QStringLiteral(ROWTICK_APP_ID) << kQueue;
    bus.send(request);  // the answer is not awaited: the window is not held up
}

bool ApplicationService::handOver(QDBusConnection bus, const std::vector<DroppedTarget>& files, int timeoutMs)
{
    if (!bus.isConnected())
        return false;
    QStringList uris;
    uris.reserve(static_cast<qsizetype>(files.size()));
    for (const DroppedTarget& file : files)
        uris.append(QString::fromLatin1(FileUrlOf(file.path).toEncoded()));
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral(ROWTICK_APP_ID), QString::fromLatin1(kObjectPath),
                                                       QString::fromLatin1(kInterface), QStringLiteral("Open"));
    call.setAutoStartService(false);  // no window open: this start opens one
    call << uris << QVariantMap();
    return bus.call(call, QDBus::Block, timeoutMs).type() == QDBusMessage::ReplyMessage;
}

void ApplicationService::Activate(const QVariantMap& platformData)
{
    raise(platformData);
}

void ApplicationService::Open(const QStringList& uris, const QVariantMap& platformData)
{
    // The URLs are read as the lines of one list, except one that holds a line
    // break: it is one entry all the same, refused, never two.
    std::vector<DroppedTarget> entries;
    QByteArray list;
    const auto readList = [&entries, &list] {
        std::vector<DroppedTarget> read = DroppedTargetsFromUriList(std::string_view(list.constData(), static_cast<std::size_t>(list.size())));
        entries.insert(entries.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
        list.clear();
    };
    for (const QString& uri : uris) {
        const QByteArray bytes = uri.toUtf8();
        if (bytes.contains('\r') || bytes.contains('\n')) {
            readList();
            entries.push_back({bytes.toStdString(), std::string(kNotPlainFileUrl)});
        } else {
            list += bytes + "\r\n";
        }
    }
    readList();
    waiting_.push_back(std::move(entries));
    if (!window_.counting())
        appendWaiting();
    raise(platformData);
}

void ApplicationService::ActivateAction(const QString& actionName, const QVariantList& /*parameter*/,
                                        const QVariantMap& /*platformData*/)
{
    if (calledFromDBus())
        sendErrorReply(QDBusError::NotSupported, QStringLiteral("Rowtick has no action ") + actionName);
}

void ApplicationService::raise(const QVariantMap& platformData)
{
    // On Wayland the compositor lets a window come forward with the token
    // the launching program got for it.
    const QString token = platformData.value(QStringLiteral("activation-token")).toString();
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.show();
    window_.raise();
    window_.activateWindow();
}

void ApplicationService::appendWaiting()
{
    for (const std::vector<DroppedTarget>& entries : waiting_)
        window_.RegisterTargets(entries);
    waiting_.clear();
}

}  // namespace rowtick
