#include "platform/DecimalNumber.h"
#include "storage/GroupFile.h"
#include "storage/SettingFile.h"
#include "storage/Tokenizer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <clocale>

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

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
    QVERIFY(GroupFile::write(path, pages));
    QCOMPARE(readBytes(path), text.toUtf8());
    const OptRecords back = GroupFile::read(path);
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
    QTest::newRow("truncated sequence") << QByteArray("1,A,U,0,\xe6\x97") << none;
    QTest::newRow("overlong encoding") << QByteArray("1,A\xc0\xaf,U,0,") << none;
    QTest::newRow("encoded surrogate") << QByteArray("1,A\xed\xa0\x80,U,0,") << none;
}

void TestStorage::groupRead() {
    QFETCH(QByteArray, bytes);
    QFETCH(OptRecords, expected);

    const QString path = dir.filePath("Group.dat");
    QVERIFY(writeBytes(path, bytes));
    QCOMPARE(GroupFile::read(path), expected);
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
    QVERIFY(GroupFile::write(path, pages));
    QCOMPARE(readBytes(path), "1," + japaneseTitle.toUtf8() + ",http://example.jp/,3,");
    QCOMPARE(GroupFile::read(path), OptRecords(pages));

    // And a file written elsewhere in UTF-8 reads back as the same title.
    QVERIFY(writeBytes(path, "1," + japaneseTitle.toUtf8() + ",U,0,"));
    QCOMPARE(GroupFile::read(path), OptRecords(Records{{japaneseTitle, "U", 0}}));
}

void TestStorage::groupWriteReplacesWholeFile() {
    const QString path = dir.filePath("shrink.dat");
    Records many;
    for (int i = 0; i < 20; ++i)
        many.push_back({QString("Long title %1").arg(i), QString("http://host/%1").arg(i), i});
    QVERIFY(GroupFile::write(path, many));
    QVERIFY(GroupFile::write(path, {{"A", "U", 1}}));
    // A shorter list must not leave the tail of the longer one behind.
    QCOMPARE(readBytes(path), QByteArray("1,A,U,1,"));
    // No temporary file is left next to the real one.
    QCOMPARE(QDir(dir.path()).entryList({"shrink*"}, QDir::Files), QStringList{"shrink.dat"});
}

void TestStorage::groupWriteFailureLeavesFileAlone() {
    QVERIFY(!GroupFile::write(dir.filePath("no/such/dir/Group.dat"), twoPages()));
    QVERIFY(!QFileInfo::exists(dir.filePath("no")));
    QVERIFY(!SettingFile::write(dir.filePath("no/such/dir/Setting.ini"), {"b", 2}));

    // A target that cannot be replaced keeps whatever it holds.
    const QString blocked = dir.filePath("blocked.dat");
    QVERIFY(QDir(dir.path()).mkdir("blocked.dat"));
    QVERIFY(writeBytes(blocked + "/inside", "keep"));
    QVERIFY(!GroupFile::write(blocked, twoPages()));
    QVERIFY(QFileInfo(blocked).isDir());
    QCOMPARE(readBytes(blocked + "/inside"), QByteArray("keep"));
}

void TestStorage::readMissingFile() {
    QCOMPARE(GroupFile::read(dir.filePath("missing.dat")), OptRecords());
    QCOMPARE(SettingFile::read(dir.filePath("missing.ini")), OptSettings());
}

void TestStorage::settingRead_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<OptSettings>("expected");

    using S = SettingFile::Settings;
    const OptSettings none = std::nullopt;
    QTest::newRow("browser and time")
        << QByteArray("BrowserPath,2,") << OptSettings(S{"BrowserPath", 2});
    QTest::newRow("no browser") << QByteArray(",5,") << OptSettings(S{"", 5});
    QTest::newRow("blanks in browser") << QByteArray(" /opt/my browser/run --new ,10,")
                                       << OptSettings(S{" /opt/my browser/run --new ", 10});
    QTest::newRow("split over lines")
        << QByteArray("Brow\r\nserPath,\n2,\n") << OptSettings(S{"BrowserPath", 2});
    QTest::newRow("extra fields ignored") << QByteArray("B,3,x,4,tail") << OptSettings(S{"B", 3});
    QTest::newRow("largest time") << QByteArray("B,2147483647,") << OptSettings(S{"B", 2147483647});

    QTest::newRow("empty file") << QByteArray() << none;
    QTest::newRow("only browser") << QByteArray("BrowserPath,") << none;
    QTest::newRow("time without comma") << QByteArray("BrowserPath,2") << none;
    QTest::newRow("empty time") << QByteArray("B,,") << none;
    QTest::newRow("blank before time") << QByteArray("B, 2,") << none;
    QTest::newRow("blank after time") << QByteArray("B,2 ,") << none;
    QTest::newRow("time out of range") << QByteArray("B,2147483648,") << none;
    QTest::newRow("time not a number") << QByteArray("B,two,") << none;
    QTest::newRow("zero time") << QByteArray("B,0,") << none;
    QTest::newRow("negative time") << QByteArray("B,-3,") << none;
    QTest::newRow("invalid UTF-8") << QByteArray("B\xff,2,") << none;
}

void TestStorage::settingRead() {
    QFETCH(QByteArray, bytes);
    QFETCH(OptSettings, expected);

    const QString path = dir.filePath("Setting.ini");
    QVERIFY(writeBytes(path, bytes));
    QCOMPARE(SettingFile::read(path), expected);
}

void TestStorage::settingRoundTrip() {
    const QString path = dir.filePath("Setting.ini");
    for (const QString& text : {QString("BrowserPath,2,"), QString(",5,"), QString(" a b ,1,"),
                                QString("日本語ブラウザ,600,")}) {
        const OptSettings parsed = SettingFile::parse(text);
        QVERIFY2(parsed, qPrintable(text));
        QCOMPARE(SettingFile::format(*parsed), text);
        QVERIFY(SettingFile::write(path, *parsed));
        QCOMPARE(readBytes(path), text.toUtf8());
        QCOMPARE(SettingFile::read(path), parsed);
    }
}

QTEST_MAIN(TestStorage)
#include "test_storage.moc"
