// Names a file system allows and a careless program mangles: each target is
// dropped, counted, shown, saved and opened as the one file it names.
#include <climits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "WindowTestSupport.h"

using namespace rowtick::testing;

namespace {

// Folder names of 200 bytes, as many as make a path of about `length` bytes.
QByteArrayList DeepFolders(qsizetype base, qsizetype length)
{
    QByteArrayList folders;
    for (qsizetype total = base; total + 201 < length; total += 201)
        folders.append(QByteArray(200, 'd'));
    return folders;
}

// Creates `folders` one inside the other under `base` and the file `name` in
// the last with `content`, one step at a time from a descriptor: no call sees
// the whole path, which may be longer than the system allows one call.
bool MakeDeepFile(const QByteArray& base, const QByteArrayList& folders, const QByteArray& name,
                  const QByteArray& content)
{
    int dir = ::open(base.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const QByteArray& folder : folders) {
        if (dir < 0 || ::mkdirat(dir, folder.constData(), 0755) != 0)
            break;
        const int inner = ::openat(dir, folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(dir);
        dir = inner;
    }
    if (dir < 0)
        return false;
    const int fd = ::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::close(dir);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, content.constData(), content.size()) == content.size();
    return ::close(fd) == 0 && written;
}

// Removes what MakeDeepFile made; the temporary folder's own removal works with
// whole paths and stops at the system's limit.
void RemoveDeepFile(const QByteArray& base, const QByteArrayList& folders, const QByteArray& name)
{
    std::vector<int> dirs{::open(base.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    for (const QByteArray& folder : folders)
        dirs.push_back(::openat(dirs.back(), folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ::unlinkat(dirs.back(), name.constData(), 0);
    for (qsizetype i = folders.size(); i > 0; --i) {
        ::close(dirs[i]);
        ::unlinkat(dirs[i - 1], folders[i - 1].constData(), AT_REMOVEDIR);
    }
    ::close(dirs.front());
}

}  // namespace

class NamesTest : public QObject, WindowFixture {
    Q_OBJECT

private slots:
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void droppedCountedShownSavedAndOpened_data();
    void droppedCountedShownSavedAndOpened();
};

void NamesTest::droppedCountedShownSavedAndOpened_data()
{
    // `field` is the path as the result file holds it, with <dir> for the test's
    // folder; `length` asks for deep folders making a path of that many bytes.
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("count");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("Shift-JIS bytes, not UTF-8")
        << QByteArray("\x83\x65\x83\x58\x83\x67.c") << 0 << QByteArray("2")
        << QByteArray("<dir>/\x83\x65\x83\x58\x83\x67.c");
    QTest::newRow("a Latin-1 byte, not UTF-8") << QByteArray("caf\xE9.txt") << 0 << QByteArray("2")
                                               << QByteArray("<dir>/caf\xE9.txt");
    QTest::newRow("a line break") << QByteArray("two\nlines.c") << 0 << QByteArray("2")
                                  << QByteArray("$'<dir>/two\\nlines.c'");
    QTest::newRow("CR LF, a quote and a backslash") << QByteArray("it's\r\n\\.c") << 0 << QByteArray("2")
                                                    << QByteArray("$'<dir>/it\\'s\\r\\n\\\\.c'");
    QTest::newRow("a TAB") << QByteArray("a\tb.c") << 0 << QByteArray("2") << QByteArray("<dir>/a\tb.c");
    QTest::newRow("a leading dash") << QByteArray("-rf") << 0 << QByteArray("2") << QByteArray("<dir>/-rf");
    QTest::newRow("quotes") << QByteArray("\"double\" 'single' `back`.c") << 0 << QByteArray("2")
                            << QByteArray("<dir>/\"double\" 'single' `back`.c");
    QTest::newRow("a command substitution") << QByteArray("$(touch pwned); x.c") << 0 << QByteArray("2")
                                            << QByteArray("<dir>/$(touch pwned); x.c");
    const QByteArray longest = QByteArray(251, 'x') + ".txt";
    QTest::newRow("a 255-byte name") << longest << 0 << QByteArray("2") << "<dir>/" + longest;
    const QByteArray longestJapanese = QString(85, QChar(0x5B57)).toUtf8();  // 字, 3 bytes each
    QTest::newRow("a 255-byte Japanese name") << longestJapanese << 0 << QByteArray("2") << "<dir>/" + longestJapanese;
    // Paths past PATH_MAX exist but no single call may name them: such a target
    // is not counted, and its row and its file name still come through whole.
    QTest::newRow("a path just short of PATH_MAX") << QByteArray("deep.c") << (PATH_MAX - 1) << QByteArray("2")
                                                   << QByteArray("<dir>/<deep>/deep.c");
    QTest::newRow("a path beyond PATH_MAX") << QByteArray("deep.c") << (PATH_MAX + 200) << QByteArray("-")
                                            << QByteArray("<dir>/<deep>/deep.c");
}

void NamesTest::droppedCountedShownSavedAndOpened()
{
    QFETCH(QByteArray, name);
    QFETCH(int, length);
    QFETCH(QByteArray, count);
    QFETCH(QByteArray, field);
    const QByteArray dir = QFile::encodeName(dir_->path());
    const QByteArrayList folders =
        length > 0 ? DeepFolders(dir.size() + 1 + name.size(), length) : QByteArrayList();
    QVERIFY(MakeDeepFile(dir, folders, name, "first\r\nsecond\r\n"));
    const QByteArray deep = folders.join('/');
    const QByteArray path = dir + '/' + (deep.isEmpty() ? name : deep + '/' + name);
    if (length > 0)
        QVERIFY(path.size() <= length && path.size() > length - 202);
    field.replace("<dir>", dir).replace("<deep>", deep);
    const QString shown = QString::fromUtf8(field);  // what cannot be shown becomes U+FFFD

    const QUrl url = QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
    const int dropTaken = Drop(targets()->viewport(), {url});
    const QString panel = statusBar()->panelText(0);
    click("Command2");
    const QString saved = dir_->filePath(QStringLiteral("result.csv"));
    desktop_->answerDialog = Choose(saved);
    click("Command3");
    doubleClickRow(targets(), 1);
    if (length > PATH_MAX)
        RemoveDeepFile(dir, folders, name);

    QCOMPARE(dropTaken, 3);
    QCOMPARE(panel, shown);
    QCOMPARE(Rows(targets()).mid(1), QStringList{shown});
    QVERIFY(!shown.contains(QLatin1Char('\n')) && !shown.contains(QLatin1Char('\r')));
    QCOMPARE(Rows(results()), QStringList{QString::fromUtf8(count + ",\t") + shown});
    QCOMPARE(ReadAll(saved), count + ",\t" + field + "\r\n");
    QVERIFY(desktop_->messages.last().text.endsWith(QStringLiteral("保存しました")));

    QCOMPARE(desktop_->openedUrls.size(), 1);
    const QUrl opened = desktop_->openedUrls.first();
    QVERIFY(opened.isLocalFile());
    QCOMPARE(QByteArray::fromPercentEncoding(opened.path(QUrl::FullyEncoded).toLatin1()), path);
    QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("pwned"))));
}

ROWTICK_WINDOW_TEST_MAIN(NamesTest)

#include "NamesTest.moc"
