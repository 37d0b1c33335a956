#include "Module1.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMimeData>

#include "counting/ResultList.h"
#include "targets/UriList.h"

namespace rowtick {

namespace {

// Text in the path's own string type as the window shows it: on Windows the
// UTF-16 as it is, elsewhere the bytes decoded, with bytes that are not valid in
// the system encoding as replacement characters.
QString NativeText(const std::filesystem::path::string_type& text)
{
#ifdef _WIN32
    return QString::fromStdWString(text);
#else
    return QFile::decodeName(QByteArray::fromStdString(text));
#endif
}

}  // namespace

QString DisplayText(const std::filesystem::path& path)
{
    return NativeText(PathField(path.native()));
}

QString DisplayText(const ResultRow& row)
{
    return NativeText(row.text());
}

std::vector<DroppedTarget> DroppedTargetsOf(const QMimeData& data)
{
    // QMimeData::urls() alone takes seconds for a million URLs: the raw list
    // is read instead.
    static const QString kUriList = QStringLiteral("text/uri-list");
    QByteArray list = data.hasFormat(kUriList) ? data.data(kUriList) : QByteArray();
    if (list.isEmpty() && data.hasUrls()) {
        for (const QUrl& url : data.urls())
            list += url.toEncoded() + "\r\n";
    }
    return DroppedTargetsFromUriList(std::string_view(list.constData(), static_cast<std::size_t>(list.size())));
}

QUrl FileUrlOf(const std::filesystem::path& path)
{
#ifdef _WIN32
    return QUrl::fromLocalFile(QString::fromStdWString(path.native()));
#else
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    const QByteArray bytes = QByteArray::fromStdString((error ? path : absolute).native());
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
#endif
}

QString ShowableFolder(const std::filesystem::path& folder)
{
#ifdef _WIN32
    return QString::fromStdWString(folder.native());
#else
    std::filesystem::path shown = folder;
    for (;;) {
        const QByteArray bytes = QByteArray::fromStdString(shown.native());
        const QString text = QFile::decodeName(bytes);
        if (QFile::encodeName(text) == bytes || !shown.has_relative_path())
            return text;
        shown = shown.parent_path();
    }
#endif
}

std::filesystem::path PathFromText(const QString& text)
{
#ifdef _WIN32
    return std::filesystem::path(QDir::toNativeSeparators(text).toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(text).toStdString());
#endif
}

}  // namespace rowtick
