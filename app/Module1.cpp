#include "Module1.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include "ResultList.h"

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

std::optional<std::filesystem::path> PathFromFileUrl(const QUrl& url)
{
    if (!url.isLocalFile())
        return std::nullopt;
#ifdef _WIN32
    // Windows names are UTF-16 and survive the URL's UTF-8 whole.
    const QString local = url.toLocalFile();
    if (local.isEmpty())
        return std::nullopt;
    return std::filesystem::path(QDir::toNativeSeparators(local).toStdWString());
#else
    // toLocalFile() would decode to text and lose bytes that are not UTF-8;
    // the encoded form still holds them as %XX.
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (bytes.isEmpty())
        return std::nullopt;
    return std::filesystem::path(bytes.toStdString());
#endif
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

std::filesystem::path PathFromText(const QString& text)
{
#ifdef _WIN32
    return std::filesystem::path(QDir::toNativeSeparators(text).toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(text).toStdString());
#endif
}

}  // namespace rowtick
