#include "Module1.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include "ResultList.h"

namespace rowtick {

#ifdef _WIN32
namespace {

bool HasLineBreak(const std::filesystem::path& path)
{
    return path.native().find_first_of(L"\r\n") != std::wstring::npos;
}

}  // namespace
#endif

QString DisplayText(const std::filesystem::path& path)
{
#ifdef _WIN32
    if (HasLineBreak(path))
        return QString::fromLocal8Bit(PathFieldBytes(path));
    return QString::fromStdWString(path.native());
#else
    // PathFieldBytes is the path's own bytes unless it must quote a line break.
    return QFile::decodeName(QByteArray::fromStdString(PathFieldBytes(path)));
#endif
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
