#include "ScratchDirectory.h"
#include "SmallFileSystem.h"
#include "platform/DecimalNumber.h"
#include "platform/DiskCalls.h"
#include "platform/TextFile.h"
#include "storage/DataFiles.h"
#include "storage/GroupFile.h"
#include "storage/SettingFile.h"
#include "storage/StoredFile.h"
#include "storage/Tokenizer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <clocale>
#include <sys/stat.h>
#include <unistd.h>

using Records = std::vector<GroupFile::PageRecord>;
using OptRecords = std::optional<Records>;
using OptSettings = std::optional<SettingFile::Settings>;
Q_DECLARE_METATYPE(OptRecords)
Q_DECLARE_METATYPE(OptSettings)

namespace {

const QString japaneseTitle = QString::fromUtf8("更新確認ページ");

Records twoPages() {
    return {{"TitleA", "UrlA", 0}, {"TitleB", "UrlB", 0}};
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray shiftJis(const char* text) {
    return QStringEncoder("Shift_JIS").encode(QString::fromUtf8(text));
}

// The files go through the program's own reading and writing path.
OptRecords readGroupFile(const QString& path) {
    const std::optional<QString> text = StoredFile(path).read();
    return text ? GroupFile::parse(*text) : std::nullopt;
}

bool writeGroupFile(const QString& path, const Records& pages) {
    return StoredFile(path).write(GroupFile::format(pages)) == StoredFile::WriteResult::Written;
}

OptSettings readSettingFile(const QString& path) {
    const std::optional<QString> text = StoredFile(path).read();
    return text ? OptSettings(SettingFile::parse(*text)) : std::nullopt;
}

bool writeSettingFile(const QString& path, const SettingFile::Settings& settings) {
    return StoredFile(path).write(SettingFile::format(settings)) ==
           StoredFile::WriteResult::Written;
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString describe(const DataFiles::Notice& notice) {
    const char* found[] = {"unreadable", "Shift_JIS", "extra text"};
    return notice.file + ": " + found[int(notice.finding)] + " > " +
           (notice.keptCopy.isEmpty() ? QString("left as it is") : notice.keptCopy);
}

} // namespace

// Readable failure messages for the file contents.
namespace GroupFile {
char* toString(const OptRecords& pages) {
    if (!pages)
        return qstrdup("no value");
    return QTest::toString(format(*pages));
}
} // namespace GroupFile

namespace SettingFile {
char* toString(const OptSettings& settings) {
    return settings ? QTest::toString(format(*settings)) : qstrdup("no value");
}
} // namespace SettingFile

class TestStorage : public QObject {
    Q_OBJECT

private slots:
    void tokenizer_data();
    void tokenizer();
    void parseInt32_data();
    void parseInt32();
    void parseInt64_data();
    void parseInt64();
    void groupRoundTrip_data();
    void groupRoundTrip();
    void groupRead_data();
    void groupRead();
    void groupUtf8WhateverTheLocale();
    void groupWriteReplacesWholeFile();
    void groupWriteFailureLeavesFileAlone();
    void readMissingFile();
    void settingRead_data();
    void settingRead();
    void settingRoundTrip();
    void storedFileKeepsWhatItCouldNotRead_data();
    void storedFileKeepsWhatItCouldNotRead();
    void storedFileNeverReplacesWhatItCannotRead();
    void interruptedSavesAreRemoved();
    void savesOnRealFileSystems_data();
    void savesOnRealFileSystems();
    void savesGoOnlyWhereTheUserMayWrite_data();
    void savesGoOnlyWhereTheUserMayWrite();
    void dataFilesTakeWhatTheyCanAndKeepTheRest_data();
    void dataFilesTakeWhatTheyCanAndKeepTheRest();
    void quitWhoseSavesFailIsTurnedDownOnce_data();
    void quitWhoseSavesFailIsTurnedDownOnce();

private:
    QTemporaryDir dir;
};

void TestStorage::tokenizer_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("unterminated last field is dropped")
        << "12,abc,,x" << QStringList{"12", "abc", ""};
    QTest::newRow("trailing comma") << "a,b," << QStringList{"a", "b"};
    QTest::newRow("leading empty field") << ",a," << QStringList{"", "a"};
    QTest::newRow("blanks kept") << " a , b ," << QStringList{" a ", " b "};
    QTest::newRow("empty text") << "" << QStringList{};
    QTest::newRow("lone comma") << "," << QStringList{""};
    QTest::newRow("no comma at all") << "abc" << QStringList{};
    QTest::newRow("non-ASCII") << QString::fromUtf8("日本,語,") << QStringList{"日本", "語"};
}

void TestStorage::tokenizer() {
    QFETCH(QString, text);
    QFETCH(QStringList, fields);

    Tokenizer tokenizer(text);
    for (const QString& field : fields)
        QCOMPARE(tokenizer.nextToken(), field);
    // Once the fields run out, every further request must answer "" and never a stale field.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(tokenizer.nextToken(), QString());
}

void TestStorage::parseInt32_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint32>("value");

    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("plain") << "42" << true << 42;
    QTest::newRow("negative") << "-17" << true << -17;
    QTest::newRow("minus zero") << "-0" << true << 0;
    QTest::newRow("leading zeros") << "007" << true << 7;
    QTest::newRow("max") << "2147483647" << true << 2147483647;
    QTest::newRow("min") << "-2147483648" << true << std::numeric_limits<qint32>::min();
    QTest::newRow("max plus one") << "2147483648" << false << 0;
    QTest::newRow("min minus one") << "-2147483649" << false << 0;
    QTest::newRow("far too big") << "99999999999999999999" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("minus only") << "-" << false << 0;
    QTest::newRow("plus sign") << "+5" << false << 0;
    QTest::newRow("double minus") << "--5" << false << 0;
    QTest::newRow("leading blank") << " 5" << false << 0;
    QTest::newRow("trailing blank") << "5 " << false << 0;
    QTest::newRow("decimal point") << "5.0" << false << 0;
    QTest::newRow("hex") << "0x10" << false << 0;
    QTest::newRow("colon, the character after nine") << "1:" << false << 0;
    QTest::newRow("minus inside") << "5-1" << false << 0;
    QTest::newRow("full-width digit") << QString::fromUtf8("５") << false << 0;
    QTest::newRow("arabic-indic digit") << QString::fromUtf8("٥") << false << 0;
    QTest::newRow("superscript digit") << QString::fromUtf8("²") << false << 0;
}

void TestStorage::parseInt32() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(qint32, value);

    const std::optional<qint32> parsed = ::parseInt32(text);
    QCOMPARE(parsed.has_value(), ok);
    if (ok)
        QCOMPARE(*parsed, value);
}

void TestStorage::parseInt64_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("value");

    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    QTest::newRow("epoch millis") << "1700000000000" << true << qint64(1700000000000);
    QTest::newRow("beyond int32") << "2147483648" << true << qint64(2147483648);
    QTest::newRow("not found") << "-1" << true << qint64(-1);
    QTest::newRow("leading zeros") << "0000000000000000000000001" << true << qint64(1);
    QTest::newRow("max") << "9223372036854775807" << true << max;
    QTest::newRow("min") << "-9223372036854775808" << true << min;
    QTest::newRow("max plus one") << "9223372036854775808" << false << qint64(0);
    QTest::newRow("min minus one") << "-9223372036854775809" << false << qint64(0);
    QTest::newRow("max times ten") << "92233720368547758070" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("minus only") << "-" << false << qint64(0);
    QTest::newRow("plus sign") << "+5" << false << qint64(0);
    QTest::newRow("blank inside") << "1 0" << false << qint64(0);
    QTest::newRow("full-width digits") << QString::fromUtf8("１２") << false << qint64(0);
}

void TestStorage::parseInt64() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(qint64, value);

    const std::optional<qint64> parsed = ::parseInt64(text);
    QCOMPARE(parsed.has_value(), ok);
    if (ok)
        QCOMPARE(*parsed, value);
}

void TestStorage::groupRoundTrip_data() {
    QTest::addColumn<Records>("pages");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty list") << Records{} << "0,";
    QTest::newRow("two pages") << twoPages() << "2,TitleA,UrlA,0,TitleB,UrlB,0,";
    QTest::newRow("empty fields") << Records{{"", "", 5}} << "1,,,5,";
    QTest::newRow("blanks kept") << Records{{" A b ", " http://x/ ", 1}}
                                 << "1, A b , http://x/ ,1,";
    QTest::newRow("failure times") << Records{{"T", "U", -1}, {"T", "U", -2}} << "2,T,U,-1,T,U,-2,";
    QTest::newRow("extreme times") << Records{{"T", "U", std::numeric_limits<qint64>::max()},
                                              {"T", "U", std::numeric_limits<qint64>::min()}}
                                   << "2,T,U,9223372036854775807,T,U,-9223372036854775808,";
    QTest::newRow("japanese") << Records{{japaneseTitle, "https://例え.jp/", 1700000000000}}
                              << "1," + japaneseTitle + ",https://例え.jp/,1700000000000,";
}

void TestStorage::groupRoundTrip() {
    QFETCH(Records, pages);
    QFETCH(QString, text);

    QCOMPARE(GroupFile::format(pages), text);
    QCOMPARE(GroupFile::parse(text), OptRecords(pages));

    const QString path = dir.filePath("roundtrip.dat");
    QVERIFY(writeGroupFile(path, pages));
    QCOMPARE(readBytes(path), text.toUtf8());
    const OptRecords back = readGroupFile(path);
    QCOMPARE(back, OptRecords(pages));
    QCOMPARE(GroupFile::format(*back), text);
}

void TestStorage::groupRead_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<OptRecords>("expected");

    const OptRecords two = twoPages();
    const OptRecords none = std::nullopt;
    QTest::newRow("single line") << QByteArray("2,TitleA,UrlA,0,TitleB,UrlB,0,") << two;
    QTest::newRow("LF per field") << QByteArray("2,\nTitleA,\nUrlA,\n0,\nTitleB,\nUrlB,\n0,\n")
                                  << two;
    QTest::newRow("CRLF per record")
        << QByteArray("2,\r\nTitleA,UrlA,0,\r\nTitleB,UrlB,0,\r\n") << two;
    QTest::newRow("CR only") << QByteArray("2,\rTitleA,UrlA,0,\rTitleB,UrlB,0,\r") << two;
    QTest::newRow("break inside fields joins halves")
        << QByteArray("2,Tit\nleA,Url\r\nA,0,TitleB,UrlB,\n0,") << two;
    QTest::newRow("blank lines") << QByteArray("\n\n2,TitleA,UrlA,0,\n\nTitleB,UrlB,0,\n\n") << two;
    QTest::newRow("records beyond count ignored")
        << QByteArray("2,TitleA,UrlA,0,TitleB,UrlB,0,TitleC,UrlC,9,") << two;
    QTest::newRow("unterminated tail ignored") << QByteArray("0,junk") << OptRecords(Records{});
    QTest::newRow("failure times parse")
        << QByteArray("2,A,U,-1,B,V,-2,") << OptRecords(Records{{"A", "U", -1}, {"B", "V", -2}});

    QTest::newRow("empty file") << QByteArray() << none;
    QTest::newRow("only line ends") << QByteArray("\r\n\r\n") << none;
    QTest::newRow("count not a number") << QByteArray("two,A,U,0,") << none;
    QTest::newRow("count without comma") << QByteArray("0") << none;
    QTest::newRow("blank before count") << QByteArray(" 1,A,U,0,") << none;
    QTest::newRow("blank after count") << QByteArray("1 ,A,U,0,") << none;
    QTest::newRow("negative count") << QByteArray("-1,") << none;
    QTest::newRow("count out of range") << QByteArray("2147483648,A,U,0,") << none;
    QTest::newRow("count above records") << QByteArray("3,TitleA,UrlA,0,TitleB,UrlB,0,") << none;
    QTest::newRow("huge count, one record") << QByteArray("2147483647,A,U,0,") << none;
    QTest::newRow("time missing closing comma") << QByteArray("1,A,U,0") << none;
    QTest::newRow("cut after url") << QByteArray("1,A,U,") << none;
    QTest::newRow("cut inside title") << QByteArray("1,Tit") << none;
    QTest::newRow("empty time") << QByteArray("1,A,U,,") << none;
    QTest::newRow("time not a number") << QByteArray("1,A,U,yesterday,") << none;
    QTest::newRow("blank beside time") << QByteArray("1,A,U, 0,") << none;
    QTest::newRow("time out of range") << QByteArray("1,A,U,9223372036854775808,") << none;
    QTest::newRow("invalid byte") << QByteArray("1,A\xff,U,0,") << none;
    QTest::newRow("encoded surrogate") << QByteArray("1,A\xed\xa0\x80,U,0,") << none;
    // Not UTF-8, but clean Shift_JIS: read as that.
    QTest::newRow("Shift_JIS titles")
        << shiftJis("2,日本語,http://a/,0,①ｶﾅ,U,5,")
        << OptRecords(Records{{QString::fromUtf8("日本語"), "http://a/", 0},
                              {QString::fromUtf8("①ｶﾅ"), "U", 5}});
    QTest::newRow("cut UTF-8 sequence is a Shift_JIS kanji")
        << QByteArray("1,A\xe6\x97,U,0,")
        << OptRecords(Records{{QString::fromUtf8("A譌"), "U", 0}});
    QTest::newRow("overlong encoding is Shift_JIS kana")
        << QByteArray("1,A\xc0\xaf,U,0,")
        << OptRecords(Records{{QString::fromUtf8("Aﾀｯ"), "U", 0}});
}

void TestStorage::groupRead() {
    QFETCH(QByteArray, bytes);
    QFETCH(OptRecords, expected);

    const QString path = dir.filePath("Group.dat");
    QVERIFY(writeBytes(path, bytes));
    QCOMPARE(readGroupFile(path), expected);
}

void TestStorage::groupUtf8WhateverTheLocale() {
    // A C locale must not turn the title into question marks on the way to or from the disk.
    const QByteArray savedLang = qgetenv("LANG");
    const QByteArray savedAll = qgetenv("LC_ALL");
    const std::string savedLocale = std::setlocale(LC_ALL, nullptr);
    qputenv("LANG", "C");
    qputenv("LC_ALL", "C");
    std::setlocale(LC_ALL, "C");
    const auto restore = qScopeGuard([&] {
        qputenv("LANG", savedLang);
        qputenv("LC_ALL", savedAll);
        std::setlocale(LC_ALL, savedLocale.c_str());
    });

    const QString path = dir.filePath("japanese.dat");
    const Records pages{{japaneseTitle, "http://example.jp/", 3}};
    QVERIFY(writeGroupFile(path, pages));
    QCOMPARE(readBytes(path), "1," + japaneseTitle.toUtf8() + ",http://example.jp/,3,");
    QCOMPARE(readGroupFile(path), OptRecords(pages));

    // And a file written elsewhere in UTF-8 reads back as the same title.
    QVERIFY(writeBytes(path, "1," + japaneseTitle.toUtf8() + ",U,0,"));
    QCOMPARE(readGroupFile(path), OptRecords(Records{{japaneseTitle, "U", 0}}));
}

void TestStorage::groupWriteReplacesWholeFile() {
    const QString path = dir.filePath("shrink.dat");
    Records many;
    for (int i = 0; i < 20; ++i)
        many.push_back({QString("Long title %1").arg(i), QString("http://host/%1").arg(i), i});
    QVERIFY(writeGroupFile(path, many));
    QVERIFY(writeGroupFile(path, {{"A", "U", 1}}));
    // A shorter list must not leave the tail of the longer one behind.
    QCOMPARE(readBytes(path), QByteArray("1,A,U,1,"));
    // No temporary file is left next to the real one.
    QCOMPARE(QDir(dir.path()).entryList({"shrink*"}, QDir::Files), QStringList{"shrink.dat"});
}

void TestStorage::groupWriteFailureLeavesFileAlone() {
    QVERIFY(!writeGroupFile(dir.filePath("no/such/dir/Group.dat"), twoPages()));
    QVERIFY(!QFileInfo::exists(dir.filePath("no")));
    QVERIFY(!writeSettingFile(dir.filePath("no/such/dir/Setting.ini"), {"b", 2}));

    // A target that cannot be replaced keeps whatever it holds.
    const QString blocked = dir.filePath("blocked.dat");
    QVERIFY(QDir(dir.path()).mkdir("blocked.dat"));
    QVERIFY(writeBytes(blocked + "/inside", "keep"));
    QVERIFY(!writeGroupFile(blocked, twoPages()));
    QVERIFY(QFileInfo(blocked).isDir());
    QCOMPARE(readBytes(blocked + "/inside"), QByteArray("keep"));
}

void TestStorage::readMissingFile() {
    QCOMPARE(readGroupFile(dir.filePath("missing.dat")), OptRecords());
    QCOMPARE(readSettingFile(dir.filePath("missing.ini")), OptSettings());
}

void TestStorage::settingRead_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<OptSettings>("expected");

    using S = SettingFile::Settings;
    const auto row = [](const char* name, const QByteArray& bytes, const char* browser,
                        qint32 seconds) {
        QTest::newRow(name) << bytes << OptSettings(S{QString::fromUtf8(browser), seconds});
    };
    row("browser and time", "BrowserPath,2,", "BrowserPath", 2);
    row("no browser", ",5,", "", 5);
    row("blanks in browser", " /opt/my browser/run --new ,10,", " /opt/my browser/run --new ", 10);
    row("split over lines", "Brow\r\nserPath,\n7,\n", "BrowserPath", 7);
    row("extra fields ignored", "B,3,x,4,tail", "B", 3);
    row("largest time", "B,2147483647,", "B", 2147483647);
    row("byte-order marks in front", "\xef\xbb\xbf\xef\xbb\xbf\r\n\xef\xbb\xbf/b,4,", "/b", 4);
    row("Shift_JIS browser", shiftJis("ブラウザ,4,"), "ブラウザ", 4);

    // Each slip costs at most the update time, never the browser command.
    row("empty file", "", "", 2);
    row("only browser", "firefox -P work,", "firefox -P work", 2);
    row("browser without comma", "firefox -P work", "firefox -P work", 2);
    row("time without comma", "firefox -P work,5", "firefox -P work", 5);
    row("blank before time", "firefox -P work, 5,", "firefox -P work", 5);
    row("blanks around time, no comma", "B,\t7 ", "B", 7);
    row("empty time", "B,,", "B", 2);
    row("zero time", "firefox -P work,0,", "firefox -P work", 2);
    row("negative time", "B,-3,", "B", 2);
    row("time out of range", "B,2147483648,", "B", 2);
    row("time not a number", "B,two,", "B", 2);
    row("blank inside time", "B,1 0,", "B", 2);
    QTest::newRow("neither UTF-8 nor Shift_JIS") << QByteArray("B\xff,2,") << OptSettings();
}

void TestStorage::settingRead() {
    QFETCH(QByteArray, bytes);
    QFETCH(OptSettings, expected);

    const QString path = dir.filePath("Setting.ini");
    QVERIFY(writeBytes(path, bytes));
    QCOMPARE(readSettingFile(path), expected);
}

void TestStorage::settingRoundTrip() {
    const QString path = dir.filePath("Setting.ini");
    for (const QString& text : {QString("BrowserPath,2,"), QString(",5,"), QString(" a b ,1,"),
                                QString("日本語ブラウザ,600,")}) {
        const SettingFile::Settings parsed = SettingFile::parse(text);
        QCOMPARE(SettingFile::format(parsed), text);
        QVERIFY(writeSettingFile(path, parsed));
        QCOMPARE(readBytes(path), text.toUtf8());
        QCOMPARE(readSettingFile(path), OptSettings(parsed));
    }
}

void TestStorage::storedFileKeepsWhatItCouldNotRead_data() {
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QByteArray>("earlierCopy");
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<QString>("kept");

    // "original" null: no file; "earlierCopy": what Group.dat.1 holds before, null for nothing.
    const QByteArray sjis = shiftJis("1,日本,U,0,");
    QTest::newRow("missing file") << QByteArray() << QByteArray() << false << "";
    QTest::newRow("our own text") << QByteArray("1,A,U,0,") << QByteArray() << false << "";
    QTest::newRow("count above the records")
        << QByteArray("2,A,U,0,") << QByteArray() << true << "Group.dat.1";
    QTest::newRow("blank beside a number")
        << QByteArray("1,A,U, 0,") << QByteArray() << true << "Group.dat.1";
    QTest::newRow("empty file") << QByteArray("") << QByteArray() << true << "Group.dat.1";
    QTest::newRow("neither UTF-8 nor Shift_JIS")
        << QByteArray("1,A\xff,U,0,") << QByteArray() << true << "Group.dat.1";
    QTest::newRow("Shift_JIS is read, and kept") << sjis << QByteArray() << false << "Group.dat.1";
    QTest::newRow("an earlier copy of other bytes stays")
        << QByteArray("2,A,U,0,") << QByteArray("mine") << true << "Group.dat.2";
    QTest::newRow("an earlier copy of the same bytes is used again")
        << QByteArray("2,A,U,0,") << QByteArray("2,A,U,0,") << true << "Group.dat.1";
}

void TestStorage::storedFileKeepsWhatItCouldNotRead() {
    QFETCH(QByteArray, original);
    QFETCH(QByteArray, earlierCopy);
    QFETCH(bool, unreadable);
    QFETCH(QString, kept);

    QTemporaryDir scratch;
    const QDir here(scratch.path());
    // A private file's copy is as private.
    if (!original.isNull())
        QVERIFY(writeBytes(here.filePath("Group.dat"), original) &&
                QFile::setPermissions(here.filePath("Group.dat"),
                                      QFile::ReadOwner | QFile::WriteOwner));
    if (!earlierCopy.isNull())
        QVERIFY(writeBytes(here.filePath("Group.dat.1"), earlierCopy));

    StoredFile file(here.filePath("Group.dat"));
    const std::optional<QString> text = file.read();
    if (text && !GroupFile::parse(*text))
        file.refuse();
    QCOMPARE(file.isUnreadable(), unreadable);

    // Two saves: the first keeps the original, the second neither touches the copy nor makes
    // another.
    for (const QByteArray& saved : {QByteArray("1,New,U,0,"), QByteArray("1,Newer,U,0,")}) {
        QCOMPARE(file.write(QString::fromUtf8(saved)), StoredFile::WriteResult::Written);
        QCOMPARE(readBytes(here.filePath("Group.dat")), saved);
        QCOMPARE(file.keptCopy(), kept);
        if (!kept.isEmpty())
            QCOMPARE(readBytes(here.filePath(kept)), original);
        if (!kept.isEmpty() && earlierCopy != original)
            QCOMPARE(filePermissions(here.filePath(kept)), 0600);
        if (!earlierCopy.isNull())
            QCOMPARE(readBytes(here.filePath("Group.dat.1")), earlierCopy);
        QStringList names{"Group.dat"};
        if (!earlierCopy.isNull())
            names << "Group.dat.1";
        if (!kept.isEmpty() && !names.contains(kept))
            names << kept;
        QCOMPARE(here.entryList(QDir::Files, QDir::Name), names);
    }
}

void TestStorage::storedFileNeverReplacesWhatItCannotRead() {
    QTemporaryDir scratch;
    const QDir here(scratch.path());
    QVERIFY(here.mkdir("Group.dat"));
    QVERIFY(writeBytes(here.filePath("Group.dat/inside"), "keep"));

    StoredFile file(here.filePath("Group.dat"));
    QCOMPARE(file.read(), std::optional<QString>());
    QVERIFY(file.isUnreadable());
    QVERIFY(!file.keepOriginal());
    QCOMPARE(file.write("1,A,U,0,"), StoredFile::WriteResult::OriginalNotKept);
    QCOMPARE(readBytes(here.filePath("Group.dat/inside")), QByteArray("keep"));

    // Nor a file whose copy the disk refuses to write, though the save itself would succeed.
    const QByteArray legacy = shiftJis("1,日本,U,0,");
    QVERIFY(writeBytes(here.filePath("Setting.ini"), legacy));
    StoredFile setting(here.filePath("Setting.ini"));
    QVERIFY(setting.read());
    static int writes = 0;
    diskCalls().pwrite = [](int fd, const void* data, size_t size, off_t offset) {
        return ++writes == 1 ? (errno = ENOSPC, ssize_t(-1)) : ::pwrite(fd, data, size, offset);
    };
    const StoredFile::WriteResult result = setting.write("b,3,");
    diskCalls().pwrite = ::pwrite;
    QCOMPARE(result, StoredFile::WriteResult::OriginalNotKept);
    QCOMPARE(readBytes(here.filePath("Setting.ini")), legacy);
    QCOMPARE(here.entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{"Group.dat", "Setting.ini"}));
}

void TestStorage::interruptedSavesAreRemoved() {
    QTemporaryDir scratch;
    const QDir here(scratch.path());
    const QStringList leftovers{"Group.dat.saving-AbC123", "Group.dat.saving-000000",
                                "Setting.ini.saving-zzzzzz"};
    const QStringList others{"Group.dat",
                             "Group.dat.1",
                             "Group.dat.backup",
                             "Group.dat.saving-AbC12",
                             "Group.dat.saving-AbC1234",
                             "Group.dat.saving-AbC12!",
                             "Group.dat.saving-\u00c4bC123",
                             "Group.dat.saving-abc123.old",
                             "xGroup.dat.saving-AbC123",
                             "Setting.ini.saving-zzzzz"};
    for (const QString& name : leftovers + others)
        QVERIFY(writeBytes(here.filePath(name), "x"));
    QVERIFY(here.mkdir("Group.dat.saving-dirdir"));
    QVERIFY(QFile::link(here.filePath("Group.dat.1"), here.filePath("Group.dat.saving-link12")));

    removeInterruptedSaves(here.filePath("Group.dat"));
    removeInterruptedSaves(here.filePath("Setting.ini"));

    QStringList remaining =
        others + QStringList{"Group.dat.saving-dirdir", "Group.dat.saving-link12"};
    remaining.sort();
    QCOMPARE(here.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name),
             remaining);
}

void TestStorage::savesOnRealFileSystems_data() {
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<bool>("directoryOpen");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<bool>("full");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("fault"); // a disk fault the writer seeds once, as it names it
    QTest::addColumn<bool>("saved");

    const QByteArray longer = "1,A,http://a/" + QByteArray(6000, 'x') + ",0,";
    const QByteArray shorter = "0,";
    QTest::newRow("full disk") << false << true << 0644 << true << longer << "" << false;
    QTest::newRow("full disk, shorter text")
        << false << true << 0644 << true << shorter << "" << false;
    QTest::newRow("flush fails") << false << true << 0644 << false << longer << "fsync" << false;
    QTest::newRow("rename fails") << false << true << 0644 << false << longer << "rename" << false;
    // Where no new file can be made beside it, a writable file is rewritten in place.
    QTest::newRow("directory closed") << true << false << 0644 << false << longer << "" << true;
    QTest::newRow("directory closed, file read-only")
        << true << false << 0444 << false << longer << "" << false;
    QTest::newRow("directory closed, full disk")
        << true << false << 0644 << true << longer << "" << false;
    QTest::newRow("directory closed, full disk, shorter text")
        << true << false << 0644 << true << shorter << "" << true;
    // Written in place, the file gets its old bytes back.
    QTest::newRow("directory closed, flush fails")
        << true << false << 0644 << false << shorter << "fsync" << false;
    QTest::newRow("directory closed, a write fails halfway")
        << true << false << 0644 << false << longer << "write" << false;
    // A file its user cannot read is never replaced, since no copy of it can be kept.
    QTest::newRow("file unreadable to its user")
        << true << true << 0200 << false << shorter << "" << false;
}

// The saves run in a helper process, as the user each row names.
void TestStorage::savesOnRealFileSystems() {
    QFETCH(bool, asNobody);
    QFETCH(bool, directoryOpen);
    QFETCH(int, fileMode);
    QFETCH(bool, full);
    QFETCH(QByteArray, text);
    QFETCH(QString, fault);
    QFETCH(bool, saved);

    if (geteuid() != 0)
        QSKIP("needs root to mount a file system and to act as another user");
    constexpr uid_t nobody = 65534;
    QTemporaryDir scratch;
    QVERIFY(QFile::setPermissions(scratch.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadOther |
                                                      QFile::ExeOther));
    const QString dir = scratch.filePath("fs");
    QVERIFY(QDir().mkdir(dir));
    std::optional<SmallFileSystem> fileSystem;
    if (full) {
        fileSystem.emplace(dir);
        if (!fileSystem->failure().isEmpty())
            QSKIP(qPrintable(fileSystem->failure()));
    }
    const QString path = dir + "/Group.dat";
    const QByteArray old = "1,A,http://a/,0,";
    QVERIFY(writeBytes(path, old));
    if (asNobody) {
        QCOMPARE(::chown(QFile::encodeName(path).constData(), nobody, nobody), 0);
        if (directoryOpen)
            QCOMPARE(::chown(QFile::encodeName(dir).constData(), nobody, nobody), 0);
    }
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(fileMode)) == 0);
    if (fileSystem)
        fileSystem->fill();

    QStringList command{STORED_FILE_WRITER, path, QString::fromUtf8(text)};
    if (!fault.isEmpty())
        command << fault;
    if (asNobody)
        command = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--"} + command;
    QProcess writer;
    writer.start(asNobody ? QStringLiteral("setpriv") : command.takeFirst(), command);
    QVERIFY(writer.waitForFinished());
    QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(writer.exitCode(), saved ? 0 : 1);
    QCOMPARE(readBytes(path), saved ? text : old);
    QStringList names = QDir(dir).entryList(QDir::Files);
    names.removeOne("filler");
    QCOMPARE(names, QStringList{"Group.dat"});
}

void TestStorage::savesGoOnlyWhereTheUserMayWrite_data() {
    QTest::addColumn<int>("linkOwner"); // Group.dat is a link in a sticky folder; -1: no link
    QTest::addColumn<int>("owner");     // of the file saved
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("saved");

    // The saves run as nobody (65534) with the extra group 100; 4242 is a stranger.
    const auto row = [](const char* name, int link, int owner, int group, int mode, bool saved) {
        QTest::newRow(name) << link << owner << group << mode << saved;
    };
    row("stranger's link in a sticky folder", 4242, 65534, 65534, 0644, false);
    row("user's link in a sticky folder", 65534, 65534, 65534, 0644, true);
    row("folder owner's link in a sticky folder", 0, 65534, 65534, 0644, true);
    row("read-only file", -1, 65534, 65534, 0444, false);
    row("root's file", -1, 0, 0, 0644, false);
    row("file of another group of the user", -1, 65534, 100, 0660, true);
}

// As nobody, in a helper process: a link is followed only where the kernel's protection of
// sticky folders would follow it, a file the user may not write stays, and a replaced file
// keeps its owner, group and mode. A second hard link keeps the text from before the save.
void TestStorage::savesGoOnlyWhereTheUserMayWrite() {
    QFETCH(int, linkOwner);
    QFETCH(int, owner);
    QFETCH(int, group);
    QFETCH(int, mode);
    QFETCH(bool, saved);

    if (geteuid() != 0)
        QSKIP("needs root to act as other users");
    QTemporaryDir scratch;
    const auto path = [&](const char* name) { return QFile::encodeName(scratch.filePath(name)); };
    const auto own = [](const QByteArray& name, int user, int group, int mode) {
        return ::lchown(name.constData(), uid_t(user), gid_t(group)) == 0 &&
               (mode < 0 || ::chmod(name.constData(), mode_t(mode)) == 0);
    };
    QVERIFY(::chmod(path(""), 0755) == 0 && QDir(scratch.path()).mkdir("sticky") &&
            QDir(scratch.path()).mkdir("mine"));
    QVERIFY(own(path("sticky"), 0, 0, 01777) && own(path("mine"), 65534, 65534, 0755));
    const QByteArray old = "1,A,http://a/,0,";
    QVERIFY(writeBytes(path("mine/Group.dat"), old) &&
            own(path("mine/Group.dat"), owner, group, mode));
    QVERIFY(::link(path("mine/Group.dat"), path("mine/other")) == 0);
    const QByteArray name = linkOwner < 0 ? path("mine/Group.dat") : path("sticky/Group.dat");
    if (linkOwner >= 0)
        QVERIFY(::symlink(path("mine/Group.dat"), name) == 0 &&
                own(name, linkOwner, linkOwner, -1));

    const QByteArray text = "1,New,http://new/,0,";
    QProcess writer;
    writer.start("setpriv", {"--reuid=65534", "--regid=65534", "--groups=100", "--",
                             STORED_FILE_WRITER, name, text});
    QVERIFY(writer.waitForFinished());
    QCOMPARE(writer.exitCode(), saved ? 0 : 1);
    QCOMPARE(readBytes(path("mine/Group.dat")), saved ? text : old);
    QCOMPARE(readBytes(path("mine/other")), old);
    struct stat status {};
    QCOMPARE(::stat(path("mine/Group.dat"), &status), 0);
    QCOMPARE(QList<int>({int(status.st_uid), int(status.st_gid), int(status.st_mode & 07777)}),
             QList<int>({owner, group, mode}));
    QCOMPARE(::lstat(name, &status) == 0 && S_ISLNK(status.st_mode), linkOwner >= 0);
    QCOMPARE(QDir(path("mine")).entryList(QDir::Files), (QStringList{"Group.dat", "other"}));
}

void TestStorage::dataFilesTakeWhatTheyCanAndKeepTheRest_data() {
    // null: no file; "<folder>", "<link to nowhere>": such a thing in its place
    QTest::addColumn<QByteArray>("group");
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QString>("groupRead"); // in our own form, empty when nothing was taken
    QTest::addColumn<QString>("settingRead");
    QTest::addColumn<QStringList>("notices");

    const auto row = [](const char* name, const QByteArray& group, const QByteArray& setting,
                        const char* groupRead, const char* settingRead,
                        const QStringList& notices) {
        QTest::newRow(name) << group << setting << QString::fromUtf8(groupRead)
                            << QString::fromUtf8(settingRead) << notices;
    };
    row("no files", {}, {}, "", "", {});
    row("our own text", "1,A,U,0,", "b,3,", "1,A,U,0,", "b,3,", {});
    row("a list that breaks the format", "2,A,U,0,", "b,3,", "", "b,3,",
        {"Group.dat: unreadable > Group.dat.1"});
    row("text beyond the format", "1,A,U,0,B,", "b,3,x,", "1,A,U,0,", "b,3,",
        {"Setting.ini: extra text > Setting.ini.1", "Group.dat: extra text > Group.dat.1"});
    row("Shift_JIS, and text after the pages", shiftJis("0,余分"), shiftJis("ブラウザ,4,"), "0,",
        "ブラウザ,4,",
        {"Setting.ini: Shift_JIS > Setting.ini.1", "Group.dat: Shift_JIS > Group.dat.1",
         "Group.dat: extra text > Group.dat.1"});
    // Nothing can be copied from a folder, so nothing replaces it.
    row("a folder in the way", "<folder>", "b,3,", "", "b,3,",
        {"Group.dat: unreadable > left as it is"});
    row("a link to nowhere", "<link to nowhere>", "b,3,", "", "b,3,",
        {"Group.dat: unreadable > left as it is"});
}

// What the reads take, what the user is told of, and the copies, which the saves then leave
// alone.
void TestStorage::dataFilesTakeWhatTheyCanAndKeepTheRest() {
    QFETCH(QByteArray, group);
    QFETCH(QByteArray, setting);
    QFETCH(QString, groupRead);
    QFETCH(QString, settingRead);
    QFETCH(QStringList, notices);

    ScratchDirectory scratch;
    if (group == "<folder>")
        QVERIFY(QDir().mkdir("Group.dat"));
    else if (group == "<link to nowhere>")
        QVERIFY(QFile::link("nowhere", "Group.dat"));
    else if (!group.isNull())
        ScratchDirectory::write("Group.dat", group);
    if (!setting.isNull())
        ScratchDirectory::write("Setting.ini", setting);

    DataFiles files;
    const auto records = files.readGroup();
    QCOMPARE(records ? GroupFile::format(*records) : QString(), groupRead);
    const auto settings = files.readSetting();
    QCOMPARE(settings ? SettingFile::format(*settings) : QString(), settingRead);
    QStringList told;
    for (const DataFiles::Notice& notice : files.keepOriginals())
        told << describe(notice);
    QCOMPARE(told, notices);

    const DataFiles::SaveResult saved = files.saveGroup({{"New", "http://new/", 0}});
    QCOMPARE(saved.file, QStringLiteral("Group.dat"));
    QCOMPARE(saved.result, group.startsWith('<') ? StoredFile::WriteResult::OriginalNotKept
                                                 : StoredFile::WriteResult::Written);
    QVERIFY(files.saveSetting({"b", 3}).saved());
    for (const auto& [name, original] : {std::pair("Group.dat", group), {"Setting.ini", setting}})
        QCOMPARE(ScratchDirectory::read(QString(name) + ".1"),
                 notices.join(u'\n').contains(QString(name) + ".1") ? original : QByteArray());
}

void TestStorage::quitWhoseSavesFailIsTurnedDownOnce_data() {
    // Steps: "block" and "unblock" a folder in the page list's place, "save" the page list
    // alone, "quit", which saves the settings too.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("quits"); // whether each quit ends the program

    QTest::newRow("saves that work") << QStringList{"quit"} << QStringList{"ends"};
    QTest::newRow("a save that fails, twice")
        << QStringList{"block", "quit", "quit"} << QStringList{"stays", "ends"};
    QTest::newRow("a failed save in between")
        << QStringList{"block", "quit", "save", "quit"} << QStringList{"stays", "ends"};
    QTest::newRow("a save that worked in between")
        << QStringList{"block", "quit", "unblock", "save", "block", "quit", "quit"}
        << QStringList{"stays", "stays", "ends"};
}

void TestStorage::quitWhoseSavesFailIsTurnedDownOnce() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, quits);

    ScratchDirectory scratch;
    DataFiles files;
    StoredFile::WriteResult groupSave = StoredFile::WriteResult::Written;
    QStringList ended;
    for (const QString& step : steps) {
        if (step == "block" || step == "unblock") {
            const bool blocked = step == "block";
            groupSave =
                blocked ? StoredFile::WriteResult::NotWritten : StoredFile::WriteResult::Written;
            QFile::remove("Group.dat");
            QVERIFY(blocked ? QDir().mkdir("Group.dat") : QDir().rmdir("Group.dat"));
        } else if (step == "save") {
            QCOMPARE(files.saveGroup({}).result, groupSave);
        } else {
            files.beginQuit();
            QVERIFY(files.quitting());
            QVERIFY(files.saveSetting({"b", 3}).saved());
            QCOMPARE(files.saveGroup({}).result, groupSave);
            const bool ends = files.endQuit();
            QCOMPARE(files.quitting(), ends);
            ended << (ends ? "ends" : "stays");
            if (ends)
                break;
        }
    }
    QCOMPARE(ended, quits);
}

QTEST_MAIN(TestStorage)
#include "test_storage.moc"
