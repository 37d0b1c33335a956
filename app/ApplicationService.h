// The open window as the desktop reaches it over the session bus: the bus name
// example.hv.Rowtick and org.freedesktop.Application at /example/hv/Rowtick, so
// that "Open with", the launcher and a second start of the program hand their
// files to this window instead of opening another one.
#pragma once

#include <optional>
#include <vector>

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "targets/TargetList.h"

namespace rowtick {

class Form1;

class ApplicationService final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    static constexpr char kObjectPath[] = "/example/hv/Rowtick";
    static constexpr char kInterface[] = "org.freedesktop.Application";

    explicit ApplicationService(Form1& window);
    // Leaves the bus before it goes: the bus's own thread must not find it
    // there while it is destroyed.
    ~ApplicationService() override;

    // Offers the window on `bus` and asks for the name without waiting for
    // the answer; while another window holds the name, this one waits in line.
    void publish(QDBusConnection bus);

    // A second start: hands `files` to the window that holds the name on
    // `bus`, as file URLs of their very bytes. False when no window answers
    // within `timeoutMs` (or there is no bus): then this start opens its own.
    static bool handOver(QDBusConnection bus, const std::vector<DroppedTarget>& files, int timeoutMs);

public slots:
    void Activate(const QVariantMap& platformData);
    // The URLs are read as a drop's URI list is: in order, other schemes left
    // out, another computer's file or a relative one listed but never read.
    // During a count they wait until the window takes drops again.
    void Open(const QStringList& uris, const QVariantMap& platformData);
    // The program has no actions.
    void ActivateAction(const QString& actionName, const QVariantList& parameter, const QVariantMap& platformData);

private:
    void raise(const QVariantMap& platformData);
    void appendWaiting();

    Form1& window_;
    std::optional<QDBusConnection> published_;  // the bus it is offered on
    std::vector<std::vector<DroppedTarget>> waiting_;  // one entry per Open during a count
};

}  // namespace rowtick
